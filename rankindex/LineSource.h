#pragma once

#include "rankindex/CompressedFile.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace rankindex {

// The lines of a data file, plain or compressed, read ahead by a thread of its own so that
// decompression and the reader's work overlap. Memory stays bounded whatever the file holds: a
// few blocks in flight and one line of at most kMaxLineBytes. Work between two looks at the
// reader's check is bounded too: one block, however long the line that runs through it.
class LineSource {
public:
    static constexpr std::size_t kMaxLineBytes = 4096;

    explicit LineSource(const std::filesystem::path &path, std::size_t blockBytes = 1 << 20);
    ~LineSource();
    LineSource(const LineSource &) = delete;
    LineSource &operator=(const LineSource &) = delete;

    // The next line without its end of line (LF or CR LF), valid until the next call; false at
    // the end of the file. A longer line comes back cut to kMaxLineBytes with Overlong() set.
    // EImportError when the file turns out truncated or corrupt.
    bool Next(std::string_view &line);
    // Called by Next each time it takes up a block of text, inside a line or between lines, so
    // that data without line breaks can be given up; an exception it raises comes out of Next.
    void CheckEachBlock(std::function<void()> check) { check_ = std::move(check); }
    bool Overlong() const { return overlong_; }
    // The number of the line Next returned last, from 1.
    std::uint64_t LineNumber() const { return lineNumber_; }

    CompressedFile::Format GetFormat() const { return format_; }
    std::uint64_t FileSize() const { return fileSize_; }
    std::uint64_t Position() const { return position_.load(std::memory_order_relaxed); }

private:
    struct Block {
        std::vector<char> bytes;
        std::size_t size = 0;
    };

    void ReadAhead(std::stop_token stop);
    bool NextBlock();
    void Carry(std::string_view piece);
    bool Deliver(std::string_view piece, std::string_view &line);

    CompressedFile file_;
    CompressedFile::Format format_;
    std::uint64_t fileSize_;
    std::atomic<std::uint64_t> position_{0};

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::vector<Block> free_;
    std::deque<Block> full_;
    bool ended_ = false;
    std::exception_ptr failure_;

    Block current_;
    std::size_t offset_ = 0;
    std::string carried_;
    bool partial_ = false;   // carried_ holds the start of a line
    bool delivered_ = false; // carried_ holds the line returned last
    bool cut_ = false;       // the line in carried_ was longer than it holds
    bool overlong_ = false;
    std::uint64_t lineNumber_ = 0;
    std::function<void()> check_;

    std::jthread reader_; // last, so it stops before the members it uses go
};

} // namespace rankindex
