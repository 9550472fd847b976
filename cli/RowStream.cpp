#include "cli/RowStream.h"

#include "cli/RowPrinter.h"

#include <algorithm>

namespace cli {
namespace {

constexpr std::chrono::milliseconds kFlushEvery(100);

} // namespace

RowStream::RowStream(std::ostream &out, results::ResultList &list, OutputFormat format)
    : out_(out), list_(list), format_(format) {
    list_.SetObserver(this);
}

RowStream::~RowStream() {
    list_.SetObserver(nullptr);
}

void RowStream::ListReset() {
    // A run clears the list before its first row; rows already out stay out.
    printed_ = std::min(printed_, list_.Count());
}

void RowStream::RowsInserted(int first, int count) {
    PrintUpTo(first + count - 1);
    const auto now = std::chrono::steady_clock::now();
    if (now - flushed_ >= kFlushEvery) {
        out_.flush();
        flushed_ = now;
    }
}

void RowStream::Finish() {
    PrintUpTo(list_.Count());
    if (!headPrinted_) {
        PrintHead(out_, list_.GetColumns(), format_);
        headPrinted_ = true;
    }
    PrintTail(out_, printed_, format_);
    out_.flush();
}

void RowStream::PrintUpTo(int end) {
    if (printed_ >= end)
        return;
    if (!headPrinted_) {
        PrintHead(out_, list_.GetColumns(), format_);
        headPrinted_ = true;
    }
    for (; printed_ < end; ++printed_)
        PrintRow(out_, list_, printed_, format_);
}

} // namespace cli
