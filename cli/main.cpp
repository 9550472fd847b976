#include "cli/NimbrelCli.h"
#include "cli/TerminalText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <new>
#include <unistd.h>

namespace {

// A closed standard descriptor gets /dev/null opened for reading in its place: no file the
// program opens can take its number (and receive the rows), and writes to it still fail.
void HoldClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            ::open("/dev/null", O_RDONLY);
    }
}

// Rows that never reached standard output are a failure, also when the last of them only fail
// to go out when it is closed.
int CloseStandardOutput(int status) {
    std::cout.flush();
    errno = 0;
    bool written = std::cout.good() && std::fflush(stdout) == 0 && !std::ferror(stdout);
    int error = errno;
    if (std::fclose(stdout) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written || status == cli::kExitFileError || status == cli::kExitUsage)
        return status;
    std::cerr << "nimbrel-cli: cannot write standard output"
              << (error ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
    return cli::kExitFileError;
}

} // namespace

// Every failure that leaves the run ends here: a message and exit status 1, never an abort.
int main(int argc, char **argv) {
    try {
        HoldClosedStandardDescriptors();
        const cli::Terminal terminal{::isatty(STDOUT_FILENO) != 0, ::isatty(STDERR_FILENO) != 0};
        return CloseStandardOutput(cli::RunNimbrelCli(argc, argv, std::cout, std::cerr, terminal));
    } catch (const std::bad_alloc &) {
        std::cerr << "nimbrel-cli: not enough memory\n";
    } catch (const std::exception &failure) {
        std::cerr << "nimbrel-cli: " << cli::TerminalText(failure.what()) << '\n';
    } catch (...) {
        std::cerr << "nimbrel-cli: unexpected failure\n";
    }
    return cli::kExitFileError;
}
