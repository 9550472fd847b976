#include "net/IdHeaderList.h"

#include "base/AsciiCase.h"

namespace net {
namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string TrimLeft(const std::string &text) {
    std::size_t start = 0;
    while (start < text.size() && IsBlankOrControl(text[start]))
        ++start;
    return text.substr(start);
}

} // namespace

bool TIdHeaderList::IsContinuation(const std::string &line) {
    return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

std::size_t TIdHeaderList::IndexOfName(const std::string &name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto colon = lines_[i].find(':');
        if (colon != std::string::npos &&
            base::SameTextAscii(std::string_view(lines_[i]).substr(0, colon), name))
            return i;
    }
    return lines_.size();
}

std::string TIdHeaderList::Values(const std::string &name) const {
    std::size_t index = IndexOfName(name);
    if (index == lines_.size())
        return {};
    std::string value = lines_[index].substr(lines_[index].find(':') + 1);
    while (++index < lines_.size() && IsContinuation(lines_[index])) {
        if (!value.empty() && value.back() != ' ' && value.back() != '\t')
            value += ' ';
        value += TrimLeft(lines_[index]);
    }
    return TrimLeft(value);
}

void TIdHeaderList::Remove(const std::string &name) {
    const std::size_t index = IndexOfName(name);
    if (index == lines_.size())
        return;
    std::size_t end = index + 1;
    while (end < lines_.size() && IsContinuation(lines_[end]))
        ++end;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                 lines_.begin() + static_cast<std::ptrdiff_t>(end));
}

void TIdHeaderList::AddValue(const std::string &name, const std::string &value) {
    std::string line = name + NameValueSeparator + value;
    // Folds at the last blank before FoldLength; the rest continues on lines led by a blank.
    while (FoldLength > 0 && line.size() > FoldLength) {
        const auto blank = line.rfind(' ', FoldLength);
        if (blank == std::string::npos || blank <= name.size() + 1)
            break;
        lines_.push_back(line.substr(0, blank));
        std::string rest(1, ' ');
        rest.append(line, blank + 1);
        line = std::move(rest);
    }
    lines_.push_back(line);
}

} // namespace net
