#pragma once

#include "tests/support/TempFolder.h"

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// What a finished child process left behind.
struct ChildResult {
    int exitCode = -1; // -1 when it did not exit normally
    std::string out;
    std::string err;
};

// A program run in a child process with its output captured. It is killed when it outlives its
// time limit, so no test waits for ever.
class ChildProcess {
public:
    ChildProcess(const std::string &program, const std::vector<std::string> &args,
                 const std::vector<std::string> &environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    void Signal(int signal);
    // Reads what the child writes until its standard error holds text (true) or limit passes.
    bool WaitForError(const std::string &text,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
    // Collects the output until the child ends (killing it after limit) and returns it.
    ChildResult Wait(std::chrono::milliseconds limit = std::chrono::milliseconds(20000));

private:
    // Reads until done() or the deadline, or until both outputs are closed; done() at the end.
    bool ReadUntil(std::chrono::steady_clock::time_point deadline,
                   const std::function<bool()> &done);

    int pid_ = -1;
    std::string out_;
    std::string err_;
    int outFd_ = -1;
    int errFd_ = -1;
};

// Runs program with args to its end.
ChildResult RunChild(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &environment = {});

// A program whose runs share per-user data and settings folders of their own (XDG_DATA_HOME and
// XDG_CONFIG_HOME), and a folder of files written for them to read. A test fixture derives from
// it.
class IsolatedProgram {
public:
    explicit IsolatedProgram(std::string program) : program_(std::move(program)) {}

    // Runs the program with args to its end.
    ChildResult Run(const std::vector<std::string> &args) const;
    // Writes text to the file name in the files folder; returns its path.
    std::string Write(const std::string &name, const std::string &text) const;

protected:
    const std::string program_;
    TempFolder files_{"nimbrel-cli-files"};
    TempFolder data_{"nimbrel-cli-data"};
};

} // namespace testsupport
