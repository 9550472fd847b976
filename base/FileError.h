#pragma once

#include "base/Exception.h"

#include <string>

namespace base {

// A file could not be read or written. What was tried, the file and the reason are kept apart so
// that a message for people can be worded around them; the message joins them as
// "ATTEMPT FILE: REASON" ("cannot read /x/a.nbr: it is a folder"). The subclasses say the kind.
class EFileError : public Exception {
public:
    EFileError(std::string attempt, std::string path, std::string reason)
        : Exception(attempt + " " + path + ": " + reason), attempt_(std::move(attempt)),
          path_(std::move(path)), reason_(std::move(reason)) {}

    // "cannot read", "cannot replace", ...
    const std::string &Attempt() const { return attempt_; }
    const std::string &Path() const { return path_; }
    // The system's reason or the program's own: "Permission denied", "it is a folder".
    const std::string &Reason() const { return reason_; }

private:
    std::string attempt_;
    std::string path_;
    std::string reason_;
};

} // namespace base
