#include "platform/IniReader.h"

#include "platform/InputFile.h"

namespace platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::string_view TrimIniBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

void IniReader::Feed(std::string_view bytes) {
    if (bytes.find('\0') != std::string_view::npos)
        sawNul_ = true;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos) {
            pending_.append(bytes);
            return;
        }
        if (pending_.empty()) {
            ReadLine(bytes.substr(0, end));
        } else {
            pending_.append(bytes.substr(0, end));
            ReadLine(pending_);
            pending_.clear();
        }
        bytes.remove_prefix(end + 1);
    }
}

void IniReader::Finish() {
    if (!pending_.empty())
        ReadLine(pending_);
    pending_.clear();
}

void IniReader::ReadLine(std::string_view line) {
    if (firstLine_)
        line = WithoutByteOrderMark(line);
    firstLine_ = false;
    line = TrimIniBlanks(line);
    if (!line.empty() && line.back() == '\r')
        line = TrimIniBlanks(line.substr(0, line.size() - 1));
    if (line.empty() || line.front() == ';')
        return;
    sawContent_ = true;
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        inSection_ = true;
        handler_.Section(TrimIniBlanks(line.substr(1, close - 1)));
        return;
    }
    const std::size_t equals = line.find('=');
    if (!inSection_ || equals == std::string_view::npos)
        return;
    const std::string_view key = TrimIniBlanks(line.substr(0, equals));
    if (!key.empty())
        handler_.Value(key, TrimIniBlanks(line.substr(equals + 1)));
}

} // namespace platform
