#include "registry/PublicSuffixList.h"

#include "base/AsciiCase.h"

#include <libpsl.h>

namespace registry {
namespace {

std::string Normalised(std::string_view name) {
    std::string text = base::AsciiLower(name);
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

} // namespace

void PublicSuffixList::Free::operator()(psl_ctx_st *list) const {
    psl_free(list);
}

PublicSuffixList::PublicSuffixList() : list_(psl_latest(nullptr)) {
    if (!list_)
        throw EPublicSuffixError("No public suffix list is at hand (libpsl has none built in and "
                                 "the system's copy cannot be read).");
}

PublicSuffixList::~PublicSuffixList() = default;
PublicSuffixList::PublicSuffixList(PublicSuffixList &&) noexcept = default;
PublicSuffixList &PublicSuffixList::operator=(PublicSuffixList &&) noexcept = default;

bool PublicSuffixList::IsPublicSuffix(std::string_view suffix) const {
    const std::string text = Normalised(suffix);
    // The private part of the list names suffixes that a company hands out below a name it
    // registered itself; for a registry those are registered names like any other.
    return !text.empty() && psl_is_public_suffix2(list_.get(), text.c_str(), PSL_TYPE_ICANN) != 0;
}

std::optional<std::string> PublicSuffixList::RegistrableName(std::string_view name) const {
    const std::string text = Normalised(name);
    // The longest public suffix is the first one met from the left; the label before it
    // completes the registrable name.
    std::size_t labelStart = 0;
    for (std::size_t start = 0;;) {
        if (IsPublicSuffix(std::string_view(text).substr(start)))
            return start == 0 ? std::nullopt : std::optional(text.substr(labelStart));
        const auto dot = text.find('.', start);
        if (dot == std::string::npos)
            return std::nullopt;
        labelStart = start;
        start = dot + 1;
    }
}

bool PublicSuffixList::IsRegistrable(std::string_view name) const {
    return RegistrableName(name) == Normalised(name);
}

} // namespace registry
