#include "platform/IniReader.h"

#include "base/Trim.h"
#include "platform/InputFile.h"

namespace platform {

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
    line = base::TrimBlanks(line);
    if (!line.empty() && line.back() == '\r')
        line = base::TrimBlanks(line.substr(0, line.size() - 1));
    if (line.empty() || line.front() == ';')
        return;
    sawContent_ = true;
    if (line.front() == '[') {
        const std::size_t close = line.find(']');
        inSection_ = true;
        handler_.Section(base::TrimBlanks(line.substr(1, close - 1)));
        return;
    }
    const std::size_t equals = line.find('=');
    if (!inSection_ || equals == std::string_view::npos)
        return;
    const std::string_view key = base::TrimBlanks(line.substr(0, equals));
    if (!key.empty())
        handler_.Value(key, base::TrimBlanks(line.substr(equals + 1)));
}

} // namespace platform
