#include "cli/TerminalText.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ChildResult;

const std::string kProgram = std::string(NIMBREL_BINARY_DIR) + "/cli/nimbrel-cli";
// Clears the screen and sets the window title when it reaches a terminal raw.
const std::string kSteering = "\x1b]0;owned\x07\x1b[2J";
const std::string kShown = "\\x1b]0;owned\\x07\\x1b[2J";

class MessagesTest : public ::testing::Test, protected testsupport::IsolatedProgram {
protected:
    MessagesTest() : IsolatedProgram(kProgram) {}
    using IsolatedProgram::Run;
};

} // namespace

TEST(TerminalText, ShowsControlCharactersAsEscapes) {
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"a\x1b[31mb", "a\\x1b[31mb"},
        {"tab\there\x7f", "tab\\x09here\\x7f"},
        {"line\nbreak\r", "line\\x0abreak\\x0d"},
        {"csi\xc2\x9b"
         "2J",
         "csi\\u009b2J"},
        {"cp1252 \x9b\x81", "cp1252 \xe2\x80\xba\\u0081"},
        {"caf\xc3\xa9 \xc2\xa0", "caf\xc3\xa9 \xc2\xa0"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(cli::TerminalText(c.text), c.shown) << c.shown;
}

// Each message that repeats text from outside (a file's name or contents, an argument) shows
// the bytes that steer a terminal as escapes, in whichever stream it goes to.
TEST_F(MessagesTest, TextFromOutsideNeverReachesTheTerminalRaw) {
    const std::string names = Write("names" + kSteering + ".txt", "ok.com\nbad" + kSteering + "\n");
    const std::string rankList = Write("top" + kSteering + ".csv", "1,google.com\n");
    const struct {
        std::vector<std::string> args;
        std::string shown;
    } cases[] = {
        // The good name is checked against a closed port on this machine.
        {{"--from", names, "--check", "web", "--connect-to", "::127.0.0.1:1", "--show", "none"},
         "names" + kShown + ".txt:2: not a domain name: 'bad" + kShown + "'"},
        {{"--suffix", "io," + kSteering, "fast"}, "'" + kShown + "' is no domain suffix"},
        {{"--load", files_.PathOf("missing" + kSteering + ".nbr")}, "missing" + kShown + ".nbr"},
        {{"--import-rank-list", rankList}, "Imported the rank list from top" + kShown + ".csv"},
        {{"--index-info"}, "rank list: top" + kShown + ".csv"},
        {{"--import-web-graph", files_.PathOf("gone" + kSteering + ".gz")}, "gone" + kShown},
    };
    for (const auto &c : cases) {
        const ChildResult result = Run(c.args);
        const std::string said = result.out + result.err;
        EXPECT_NE(said.find(c.shown), std::string::npos) << c.args[0] << ":\n" << said;
        EXPECT_EQ(said.find('\x1b'), std::string::npos) << c.args[0] << ":\n" << said;
        EXPECT_EQ(said.find('\x07'), std::string::npos) << c.args[0] << ":\n" << said;
    }
}
