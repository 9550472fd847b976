#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace core {

// Where a run takes the names it checks, one at a time and in order, so that a list of
// millions of names never stands in memory as a string per name: a run holds only the names
// under way. Read by one thread at a time (a check pool takes its names under its lock).
class NameSource {
public:
    virtual ~NameSource() = default;

    // The next name, or nothing once the list has ended.
    virtual std::optional<std::string> Next() = 0;
    // How many names the list holds in all, for the progress.
    virtual std::size_t Count() const = 0;
};

// A list of names held as strings: the generated candidates, a few hundred at most.
class NameVector : public NameSource {
public:
    explicit NameVector(std::vector<std::string> names) : names_(std::move(names)) {}

    std::optional<std::string> Next() override {
        if (next_ == names_.size())
            return std::nullopt;
        return names_[next_++];
    }
    std::size_t Count() const override { return names_.size(); }

private:
    std::vector<std::string> names_;
    std::size_t next_ = 0;
};

} // namespace core
