#pragma once

#include "base/Exception.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct psl_ctx_st;

// Where registrations happen: the ICANN part of the Public Suffix List, through libpsl (its own
// copy of the list, or the system's when that one is newer). A registry hands out the names one
// label below a public suffix ("example.com", "example.co.uk"); every name further down belongs
// to whoever holds that name, so no registry can call it free. A top-level label the list does
// not know counts as a public suffix. Loading reads a file of some 100 KB; a run keeps one list.
namespace registry {

// Neither libpsl nor the system has a list to give.
class EPublicSuffixError : public base::Exception {
public:
    using base::Exception::Exception;
};

class PublicSuffixList {
public:
    // Raises EPublicSuffixError when no list can be loaded.
    PublicSuffixList();
    ~PublicSuffixList();
    PublicSuffixList(PublicSuffixList &&) noexcept;
    PublicSuffixList &operator=(PublicSuffixList &&) noexcept;

    // Whether suffix (any case, without a leading dot) is one under which a registry hands out
    // names: "com", "co.uk"; not "example.com", nor a private suffix such as "github.io".
    bool IsPublicSuffix(std::string_view suffix) const;
    // The name one label below name's public suffix, lower-cased without a final dot;
    // nothing when name is a public suffix itself.
    std::optional<std::string> RegistrableName(std::string_view name) const;
    // Whether name is exactly a name that a registry hands out.
    bool IsRegistrable(std::string_view name) const;

private:
    struct Free {
        void operator()(psl_ctx_st *list) const;
    };
    std::unique_ptr<psl_ctx_st, Free> list_;
};

} // namespace registry
