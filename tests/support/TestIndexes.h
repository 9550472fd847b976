#pragma once

#include "rankindex/RankImport.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

// A web-graph line: a harmonic-centrality position and a name reversed ("com.example").
inline std::string WebGraphLine(int position, const std::string &reversedName) {
    return std::to_string(position) + "\t1.0E5\t7\t1.0E-4\t" + reversedName + "\t1\n";
}

// Writes text as the source of an index of the kind and imports it into folder/Nimbrel, the
// index folder of XDG_DATA_HOME=folder.
inline rankindex::ImportReport ImportTestIndex(rankindex::RankKind kind,
                                            const std::filesystem::path &folder,
                                            const std::string &text) {
    const std::filesystem::path source =
        folder / (kind == rankindex::RankKind::WebGraph ? "graph-source.txt" : "list-source.csv");
    std::ofstream(source, std::ios::binary) << text;
    return rankindex::ImportRankFile(kind, source, folder / "Nimbrel");
}

} // namespace testsupport
