#pragma once

#include <exception>
#include <string>

namespace base {

// Root of every failure the program raises; carries the message shown to the user.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}

    const std::string &Message() const noexcept { return message_; }
    const char *what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// A text that should have been a number was not one.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

} // namespace base
