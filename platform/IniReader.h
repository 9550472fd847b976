#pragma once

#include <string>
#include <string_view>

namespace platform {

// Reads the lines of an INI profile from pieces of text as they come, in the line rules that
// IniFile describes, and hands each section header and each value line of a section to a
// handler. A UTF-8 byte order mark before the first line is skipped. Linear in the input: every
// byte is looked at a bounded number of times, whatever the pieces.
class IniReader {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        // A line "[name]", blanks around the name removed.
        virtual void Section(std::string_view name) = 0;
        // A line "key=value" after a section header: the key without blanks around it (never
        // empty) and the value as written, blanks around it removed (see IniFile::DecodeValue).
        virtual void Value(std::string_view key, std::string_view written) = 0;
    };

    explicit IniReader(Handler &handler) : handler_(handler) {}

    void Feed(std::string_view bytes);
    // Reads the last line when it has no line break.
    void Finish();

    // Whether a NUL byte came, which no text profile holds.
    bool SawNulByte() const { return sawNul_; }
    // Whether any line held more than blanks or a comment.
    bool SawContent() const { return sawContent_; }

private:
    void ReadLine(std::string_view line);

    Handler &handler_;
    std::string pending_;
    bool firstLine_ = true;
    bool inSection_ = false;
    bool sawNul_ = false;
    bool sawContent_ = false;
};

} // namespace platform
