#pragma once

namespace core {

// How the keywords dialog was left: Search starts the run; Cancel, Escape and the close box do not.
enum class KeywordsAnswer { Search, Cancel };

// The keywords dialog as the Start command sees it: shown modally, it edits the keywords and the
// search mode in place and says whether the user searched.
class KeywordsPrompt {
public:
    virtual ~KeywordsPrompt() = default;
    virtual KeywordsAnswer ShowKeywordsModal() = 0;
};

} // namespace core
