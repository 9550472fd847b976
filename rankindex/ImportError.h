#pragma once

#include "base/Exception.h"

namespace rankindex {

// A file to import cannot be read or holds nothing usable (missing, truncated or corrupt
// archive, no line of the expected form); the previous index stays as it was.
class EImportError : public base::Exception {
public:
    using Exception::Exception;
};

// The import was cancelled before it finished; the previous index stays as it was.
class EImportCancelled : public base::Exception {
public:
    using Exception::Exception;
};

// An index file is missing, not an index or damaged; nothing is read from it.
class EIndexError : public base::Exception {
public:
    using Exception::Exception;
};

} // namespace rankindex
