#include "net/IdHeaderList.h"

#include "base/AsciiCase.h"
#include "base/Trim.h"

namespace net {
namespace {} // namespace

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
        value += base::TrimControlsLeft(lines_[index]);
    }
    return std::string(base::TrimControlsLeft(value));
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
