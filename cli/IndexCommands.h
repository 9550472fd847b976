#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace cli {

// The index commands of the command line: import a web-graph rank file or a rank list, and say
// what the indexes hold.
struct IndexRequest {
    std::string webGraphFile;
    std::string rankListFile;
    bool info = false;

    bool Any() const { return !webGraphFile.empty() || !rankListFile.empty() || info; }
};

void AddIndexOptions(CLI::App &app, IndexRequest &request);

// Carries out the request against the indexes in the per-user data folder: the imports first,
// then the information. Reports go to out, progress and failures to err (progress only when err
// is a terminal). Returns the exit status; Ctrl-C cancels an import and keeps the old index.
int RunIndexCommands(const IndexRequest &request, std::ostream &out, std::ostream &err,
                     bool errIsTerminal);

} // namespace cli
