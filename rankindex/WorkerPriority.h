#pragma once

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace rankindex {

// Lowers the calling thread's scheduling priority (on Linux the nice value belongs to the thread),
// for an import's bulk work beside the thread that reads the file: on a busy machine the window's
// thread and the reading thread then come first. Failing to lower it changes nothing else.
inline void LowerThisThreadsPriority() {
    constexpr int kNiceIncrement = 10;
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    const int now = ::getpriority(PRIO_PROCESS, thread);
    ::setpriority(PRIO_PROCESS, thread, now + kNiceIncrement);
}

} // namespace rankindex
