#pragma once

#include <string_view>

// A guard for JSON from outside: the JSON library builds a value for every bracket it opens
// before it can see that the brackets never close, so text that nests deeper than any real
// document is refused by this count first, which reads the text once and allocates nothing.
namespace registry {

// How deep the brackets of text nest (strings skipped), 0 for none; unbalanced text counts
// the brackets it opens.
int JsonNestingDepth(std::string_view text);

} // namespace registry
