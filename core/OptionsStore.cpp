#include "core/OptionsStore.h"

#include "platform/Registry.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace core {
namespace {

using platform::RegistryKey;
using platform::RegType;
using platform::RegValue;

// Thrown by a read of a stored value of the wrong type.
class EWrongType : public platform::ERegistryError {
public:
    using ERegistryError::ERegistryError;
};

std::unique_ptr<RegistryKey> OpenExistingKey() {
    try {
        return RegistryKey::Open(kSetupKey);
    } catch (const platform::ERegistryError &) {
        return nullptr;
    }
}

std::optional<RegValue> Query(const RegistryKey *key, const char *name) {
    return key ? key->QueryValue(name) : std::nullopt;
}

std::int32_t ReadInteger(const RegValue &value) {
    if (value.type != RegType::Dword || value.data.size() != 4)
        throw EWrongType("not an integer");
    std::uint32_t bits = 0;
    std::memcpy(&bits, value.data.data(), 4); // stored least significant byte first
    return static_cast<std::int32_t>(bits);
}

bool ReadBool(const RegValue &value) {
    return ReadInteger(value) != 0;
}

std::string ReadText(const RegValue &value) {
    if (value.data.empty())
        return {};
    if (value.type != RegType::Sz && value.type != RegType::ExpandSz)
        throw EWrongType("not a text");
    return value.data.substr(0, value.data.find('\0'));
}

// Reads the flags in order; the first that cannot be read ends the whole load.
bool LoadFlags(const RegistryKey *key, SearchOptions &options) {
    const std::pair<const char *, bool *> flags[] = {
        {"COM", &options.COM},         {"NET", &options.NET},           {"ORG", &options.ORG},
        {"hyphens", &options.hyphens}, {"acronyms", &options.acronyms}, {"BIZ", &options.BIZ},
        {"US", &options.US},           {"INFO", &options.INFO},         {"COUK", &options.COUK},
    };
    for (const auto &[name, field] : flags) {
        const auto value = Query(key, name);
        if (!value)
            continue;
        try {
            *field = ReadBool(*value);
        } catch (const EWrongType &) {
            return false;
        }
    }
    return true;
}

// A stored integer handed to set; a missing or unreadable value leaves the default.
template <typename Set> void LoadInteger(const RegistryKey *key, const char *name, Set set) {
    const auto value = Query(key, name);
    if (!value)
        return;
    try {
        set(ReadInteger(*value));
    } catch (const EWrongType &) {
    }
}

// The store holds the dialog's two choices; "only the index" is the command line's alone.
std::int32_t StoredSource(std::int32_t value) {
    return value == kFromWeb ? kFromWeb : kIndexWhenPresent;
}

// A text setting; a value of the wrong type keeps the default and the load goes on.
void LoadText(const RegistryKey *key, const char *name, std::string &field) {
    const auto value = Query(key, name);
    if (!value)
        return;
    try {
        field = ReadText(*value);
    } catch (const EWrongType &) {
    }
}

RegValue Flag(bool set) {
    return RegValue::Dword(set ? 1 : 0);
}
RegValue Integer(std::int32_t value) {
    return RegValue::Dword(static_cast<std::uint32_t>(value));
}

} // namespace

void LoadSearchMode(SearchOptions &options) {
    options.SetSearchFor(kAllVariants);
    options.SetSearchMode(kBuildNames);
    const auto key = OpenExistingKey();
    LoadInteger(key.get(), "searchfor", [&](std::int32_t value) { options.SetSearchFor(value); });
    LoadInteger(key.get(), "searchmode", [&](std::int32_t value) { options.SetSearchMode(value); });
}

void LoadSettings(SearchOptions &options) {
    const auto key = OpenExistingKey();
    if (!LoadFlags(key.get(), options))
        return;
    LoadInteger(key.get(), "show", [&](std::int32_t value) { options.SetShow(value); });
    LoadText(key.get(), "reg", options.reg);
    LoadInteger(key.get(), "jobs", [&](std::int32_t value) { options.SetJobs(value); });
    LoadInteger(key.get(), "check", [&](std::int32_t value) { options.SetCheck(value); });
    LoadText(key.get(), "suffixes", options.suffixes);
    LoadInteger(key.get(), "linksfrom",
                [&](std::int32_t value) { options.SetLinksFrom(StoredSource(value)); });
    LoadInteger(key.get(), "rankfrom",
                [&](std::int32_t value) { options.SetRankFrom(StoredSource(value)); });
    LoadInteger(key.get(), "cache", [&](std::int32_t value) { options.cache = value != 0; });
    LoadText(key.get(), "before", options.before);
    LoadText(key.get(), "after", options.after);
    LoadInteger(key.get(), "commonaffixes",
                [&](std::int32_t value) { options.commonAffixes = value != 0; });
    LoadInteger(key.get(), "suffixhacks",
                [&](std::int32_t value) { options.suffixHacks = value != 0; });
    LoadInteger(key.get(), "maxlength", [&](std::int32_t value) {
        options.maxNameLength = std::clamp(value, kNoLengthLimit, kLongestNameLength);
    });
}

void StoreSearchMode(const SearchOptions &options) {
    try {
        const auto key = RegistryKey::Create(kSetupKey);
        key->SetValue("searchfor", Integer(options.searchfor()));
        key->SetValue("searchmode", Integer(options.searchmode()));
    } catch (const platform::ERegistryError &) {
    }
}

void StoreSettings(const SearchOptions &options) {
    try {
        const auto key = RegistryKey::Create(kSetupKey);
        key->SetValue("COM", Flag(options.COM));
        key->SetValue("NET", Flag(options.NET));
        key->SetValue("ORG", Flag(options.ORG));
        key->SetValue("hyphens", Flag(options.hyphens));
        key->SetValue("acronyms", Flag(options.acronyms));
        key->SetValue("show", Integer(options.show()));
        key->SetValue("reg", RegValue::Text(options.reg));
        key->SetValue("jobs", Integer(options.jobs()));
        key->SetValue("linksfrom", Integer(StoredSource(options.linksFrom())));
        key->SetValue("rankfrom", Integer(StoredSource(options.rankFrom())));
        key->SetValue("check", Integer(options.check()));
        key->SetValue("BIZ", Flag(options.BIZ));
        key->SetValue("US", Flag(options.US));
        key->SetValue("INFO", Flag(options.INFO));
        key->SetValue("COUK", Flag(options.COUK));
        key->SetValue("suffixes", RegValue::Text(options.suffixes));
        key->SetValue("cache", Flag(options.cache));
        key->SetValue("before", RegValue::Text(options.before));
        key->SetValue("after", RegValue::Text(options.after));
        key->SetValue("commonaffixes", Flag(options.commonAffixes));
        key->SetValue("suffixhacks", Flag(options.suffixHacks));
        key->SetValue("maxlength", Integer(options.maxNameLength));
    } catch (const platform::ERegistryError &) {
    }
}

} // namespace core
