#include "rankindex/LineSource.h"

#include <cstring>

namespace rankindex {
namespace {

constexpr int kBlocksInFlight = 4;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

} // namespace

LineSource::LineSource(const std::filesystem::path &path, std::size_t blockBytes)
    : file_(path), format_(file_.GetFormat()), fileSize_(file_.FileSize()) {
    for (int i = 0; i < kBlocksInFlight; ++i)
        free_.push_back(Block{std::vector<char>(blockBytes), 0});
    reader_ = std::jthread([this](std::stop_token stop) { ReadAhead(stop); });
}

LineSource::~LineSource() = default;

void LineSource::ReadAhead(std::stop_token stop) {
    for (;;) {
        Block block;
        {
            std::unique_lock lock(mutex_);
            if (!changed_.wait(lock, stop, [this] { return !free_.empty(); }))
                return;
            block = std::move(free_.back());
            free_.pop_back();
        }
        std::exception_ptr failure;
        block.size = 0;
        try {
            while (block.size < block.bytes.size()) {
                const std::size_t got =
                    file_.Read(block.bytes.data() + block.size, block.bytes.size() - block.size);
                if (got == 0)
                    break;
                block.size += got;
            }
        } catch (...) {
            failure = std::current_exception();
        }
        position_.store(file_.Position(), std::memory_order_relaxed);
        const bool last = block.size < block.bytes.size();
        {
            std::lock_guard lock(mutex_);
            if (block.size > 0)
                full_.push_back(std::move(block));
            failure_ = failure;
            ended_ = last;
        }
        changed_.notify_all();
        if (last)
            return;
    }
}

bool LineSource::NextBlock() {
    std::unique_lock lock(mutex_);
    if (!current_.bytes.empty()) {
        free_.push_back(std::move(current_));
        current_ = Block{};
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return !full_.empty() || ended_; });
    offset_ = 0;
    if (!full_.empty()) {
        current_ = std::move(full_.front());
        full_.pop_front();
        lock.unlock();
        if (check_)
            check_();
        return true;
    }
    if (failure_)
        std::rethrow_exception(failure_);
    return false;
}

void LineSource::Carry(std::string_view piece) {
    partial_ = true;
    const std::size_t room = kMaxLineBytes - std::min(kMaxLineBytes, carried_.size());
    if (piece.size() > room)
        cut_ = true;
    carried_.append(piece.substr(0, room));
}

bool LineSource::Deliver(std::string_view piece, std::string_view &line) {
    if (partial_) {
        Carry(piece);
        line = carried_;
        overlong_ = cut_;
        partial_ = false;
        delivered_ = true;
    } else {
        overlong_ = piece.size() > kMaxLineBytes;
        line = piece.substr(0, kMaxLineBytes);
    }
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    if (++lineNumber_ == 1 && line.starts_with(kByteOrderMark))
        line.remove_prefix(kByteOrderMark.size());
    return true;
}

bool LineSource::Next(std::string_view &line) {
    if (delivered_) {
        carried_.clear();
        delivered_ = cut_ = false;
    }
    for (;;) {
        if (offset_ < current_.size) {
            const char *begin = current_.bytes.data() + offset_;
            const std::size_t rest = current_.size - offset_;
            if (const void *end = std::memchr(begin, '\n', rest)) {
                const auto length =
                    static_cast<std::size_t>(static_cast<const char *>(end) - begin);
                offset_ += length + 1;
                return Deliver({begin, length}, line);
            }
            Carry({begin, rest});
            offset_ = current_.size;
        }
        if (!NextBlock())
            return partial_ && Deliver({}, line);
    }
}

} // namespace rankindex
