#pragma once

#include <string_view>

// Whether a text from outside (a DNS record, a results file) may be opened as a web page: only
// an http or https address with a host and no blank or control byte. Anything else (javascript:,
// data:, file:, a bare word) is shown as text and never handed to a browser.
namespace base {

bool IsWebLink(std::string_view text);

} // namespace base
