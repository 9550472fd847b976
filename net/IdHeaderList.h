#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace net {

// Header lines "Name: value" in order. Names compare without ASCII case; a name ends at the
// first ":" of its line. Lines that begin with a blank or tab continue the field before them.
class TIdHeaderList {
public:
    // The value of the first field called name, its continuation lines joined with one space,
    // leading blanks and control characters removed; empty when there is no such field.
    std::string Values(const std::string &name) const;
    // Deletes the first field called name with its continuation lines.
    void Remove(const std::string &name);
    // Appends "name: value" folded at FoldLength characters.
    void AddValue(const std::string &name, const std::string &value);

    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Clear() { lines_.clear(); }
    std::size_t Count() const { return lines_.size(); }
    const std::string &operator[](std::size_t index) const { return lines_[index]; }
    const std::vector<std::string> &Lines() const { return lines_; }
    void Assign(const TIdHeaderList &other) { lines_ = other.lines_; }

    std::string NameValueSeparator = ": ";
    std::size_t FoldLength = 78;

private:
    // Index of the first field called name, or Count().
    std::size_t IndexOfName(const std::string &name) const;
    static bool IsContinuation(const std::string &line);

    std::vector<std::string> lines_;
};

} // namespace net
