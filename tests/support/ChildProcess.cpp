#include "tests/support/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

void ReadAvailable(int &fd, std::string &into) {
    char buffer[4096];
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count > 0) {
        into.append(buffer, static_cast<std::size_t>(count));
        return;
    }
    if (count < 0 && errno == EINTR)
        return;
    ::close(fd);
    fd = -1;
}

// This process's environment with the given NAME=value settings in place of its own.
std::vector<std::string> EnvironmentWith(const std::vector<std::string> &settings) {
    const auto nameOf = [](const std::string &setting) {
        return setting.substr(0, setting.find('='));
    };
    std::vector<std::string> result;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const std::string setting = *entry;
        const bool replaced = std::any_of(settings.begin(), settings.end(), [&](const auto &own) {
            return nameOf(own) == nameOf(setting);
        });
        if (!replaced)
            result.push_back(setting);
    }
    result.insert(result.end(), settings.begin(), settings.end());
    return result;
}

} // namespace

ChildProcess::ChildProcess(const std::string &program, const std::vector<std::string> &args,
                           const std::vector<std::string> &environment) {
    // Everything the child needs is made before the fork: between fork and exec the child of a
    // threaded program (the tests' servers run on threads) may only make async-signal-safe calls,
    // since another thread may have held the allocator's lock at the fork.
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const std::vector<std::string> settings = EnvironmentWith(environment);
    std::vector<char *> envp;
    for (const std::string &setting : settings)
        envp.push_back(const_cast<char *>(setting.c_str()));
    envp.push_back(nullptr);

    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0)
        throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("fork");
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::close(out[0]), ::close(out[1]), ::close(err[0]), ::close(err[1]);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0)
        ::close(outFd_);
    if (errFd_ >= 0)
        ::close(errFd_);
}

void ChildProcess::Signal(int signal) {
    ::kill(pid_, signal);
}

bool ChildProcess::ReadUntil(std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()> &done) {
    while ((outFd_ >= 0 || errFd_ >= 0) && !done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            return false;
        if (outFd_ >= 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)))
            ReadAvailable(outFd_, out_);
        if (errFd_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
            ReadAvailable(errFd_, err_);
    }
    return done();
}

bool ChildProcess::WaitForError(const std::string &text, std::chrono::milliseconds limit) {
    return ReadUntil(std::chrono::steady_clock::now() + limit,
                     [&] { return err_.find(text) != std::string::npos; });
}

ChildResult ChildProcess::Wait(std::chrono::milliseconds limit) {
    if (!ReadUntil(std::chrono::steady_clock::now() + limit, [] { return false; }) &&
        (outFd_ >= 0 || errFd_ >= 0))
        ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    ChildResult result;
    result.out = std::move(out_);
    result.err = std::move(err_);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

ChildResult RunChild(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &environment) {
    return ChildProcess(program, args, environment).Wait();
}

ChildResult IsolatedProgram::Run(const std::vector<std::string> &args) const {
    return RunChild(
        program_, args,
        {"XDG_DATA_HOME=" + data_.Path().string(), "XDG_CONFIG_HOME=" + data_.Path().string()});
}

std::string IsolatedProgram::Write(const std::string &name, const std::string &text) const {
    std::ofstream(files_.PathOf(name), std::ios::binary) << text;
    return files_.PathOf(name);
}

} // namespace testsupport
