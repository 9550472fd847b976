#include "core/SuffixList.h"

#include "base/AsciiCase.h"
#include "base/DomainNameLimits.h"
#include "base/Trim.h"
#include "registry/IdnaName.h"
#include "registry/PublicSuffixList.h"

#include <algorithm>
#include <sstream>

namespace core {
namespace {

// A suffix leaves room in a whole name for a label of up to twelve characters and its dot.
constexpr std::size_t kLongestSuffix = base::kLongestDomainName - 13;

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsLabel(const std::string &label) {
    return !label.empty() && label.size() <= base::kLongestLabel &&
           IsLetterOrDigit(label.front()) && IsLetterOrDigit(label.back()) &&
           std::all_of(label.begin(), label.end(),
                       [](char c) { return IsLetterOrDigit(c) || c == '-'; });
}

bool IsSuffix(const std::string &suffix) {
    if (suffix.empty() || suffix.size() > kLongestSuffix || suffix.back() == '.')
        return false;
    std::istringstream labels(suffix);
    std::string label;
    while (std::getline(labels, label, '.'))
        if (!IsLabel(label))
            return false;
    return true;
}

// A name that a registry hands out (or a host below one) is never a suffix: the names built
// on it would lie below a registration, where no registry answer speaks for them.
void CheckIsPublic(const std::string &typed, const std::string &suffix,
                   const registry::PublicSuffixList &publicSuffixes) {
    if (publicSuffixes.IsPublicSuffix(suffix))
        return;
    const std::string registrable = publicSuffixes.RegistrableName(suffix).value_or(suffix);
    throw ESuffixError("'" + typed + "' is " +
                       (registrable == suffix ? "a registrable name"
                                              : "below the registrable name " + registrable) +
                       ", not a domain suffix: use a suffix under which a registry hands out "
                       "names, as in \"io, dev, co.uk\"");
}

// A suffix typed in Unicode ("рф") in the form registries know it ("xn--p1ai"); one that has no
// such form is refused here, naming it.
// The leading dot stays for the caller to take off.
std::string AsciiForm(const std::string &typed) {
    const bool dot = typed.front() == '.';
    const registry::AsciiName mapped = registry::ToAsciiName(std::string_view(typed).substr(dot));
    if (!mapped)
        throw ESuffixError("'" + typed + "' is no domain suffix: it " + std::string(mapped.fault));
    return (dot ? "." : "") + mapped.name;
}

} // namespace

std::vector<std::string> ReadSuffixList(const std::string &text) {
    const registry::PublicSuffixList publicSuffixes;
    std::vector<std::string> suffixes;
    std::istringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        const std::string typed(base::TrimBlanks(entry));
        if (typed.empty())
            continue;
        std::string suffix = base::AsciiLower(AsciiForm(typed));
        if (suffix.front() == '.')
            suffix.erase(0, 1);
        if (!IsSuffix(suffix))
            throw ESuffixError("'" + typed +
                               "' is no domain suffix: use labels of letters, digits and inner "
                               "hyphens joined by dots, as in \"io, dev, co.uk\"");
        CheckIsPublic(typed, suffix, publicSuffixes);
        suffixes.push_back(std::move(suffix));
    }
    return suffixes;
}

} // namespace core
