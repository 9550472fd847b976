#pragma once

#include "core/NameSource.h"
#include "registry/PublicSuffixList.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace core {

// A domain name as a check takes it: labels of letters, digits and inner hyphens, 1 to 63
// characters each, at least two of them, 253 characters at most.
bool IsDomainName(std::string_view text);

// Why a line of a names list is not checked.
enum class NameFault {
    NotAName,
    // A host below a name a registry hands out ("www.example.com"): no registry answer speaks
    // for it, so it is refused rather than quietly replaced by the registrable name.
    BelowRegistrableName,
    // A suffix under which names are handed out ("co.uk"), itself no one's to register.
    PublicSuffix,
};

// A line of a names list that holds no usable name.
struct BadName {
    std::size_t line = 0;  // from 1
    std::string_view text; // the line without blanks around it, at most 80 bytes of it
    NameFault fault = NameFault::NotAName;
    // For BelowRegistrableName: the name that could be checked instead.
    std::string registrable;
};

// A names list held as the text it was read as: one name a line, checked as given (blanks
// around it aside; a name in Unicode in its ASCII "xn--" form); blank lines and lines starting with
// "#" are skipped; a line longer than a name can be is bad, and so is a name that is not itself a
// registrable name by the public suffixes. The names are cut from the text as the run takes them,
// so the list costs its text and nothing per name.
class NameList : public NameSource {
public:
    explicit NameList(std::string text);

    // Goes over the whole list once, before the names are taken: counts the names and tells
    // about each line that holds none, in order.
    void Check(const std::function<void(const BadName &)> &badLine);

    std::optional<std::string> Next() override;
    // The names the list holds, once Check has counted them.
    std::size_t Count() const override { return count_; }

private:
    // The name of the next line holding one (in its ASCII form), from position on; position
    // moves past it.
    std::optional<std::string> NextName(std::size_t &position) const;

    std::string text_;
    registry::PublicSuffixList suffixes_;
    std::size_t next_ = 0;
    std::size_t count_ = 0;
};

} // namespace core
