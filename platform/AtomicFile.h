#pragma once

#include "base/Exception.h"

#include <filesystem>
#include <string_view>

namespace platform {

// A file could not be written; the previous file, if any, is untouched.
class EFileWriteError : public base::Exception {
public:
    using Exception::Exception;
};

// Replaces the file at path with bytes: writes a temporary file in the same folder, flushes it
// to disk and renames it over the target, so a reader sees either the old file or the new one.
// A symbolic link is followed, so the file it points at is replaced (or made, when it does not
// exist yet) and the link stays; an existing file keeps its permissions. What exists and is not
// a regular file (a FIFO, a device, a socket, a descriptor link such as /dev/stdout) is written
// in place, never renamed over. Temporary files of this naming left a day or more ago by a save
// that was killed are removed from the folder.
void WriteFileAtomically(const std::filesystem::path &path, std::string_view bytes);

} // namespace platform
