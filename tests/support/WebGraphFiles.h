#pragma once

#include "tests/support/OldIndexForms.h"

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

// Web-graph rank files as the graph's releases publish them (gzip, tab-separated, a header line
// naming the columns); OldIndexForms.h turns an index back into the older forms.
namespace testsupport {

inline constexpr const char *kWebGraphHeader =
    "#harmonicc_pos\t#harmonicc_val\t#pr_pos\t#pr_val\t#host_rev\t#n_hosts\n";

// One line: harmonic position, PageRank position 1000 after it, the name reversed, its hosts.
inline std::string WebGraphRow(std::uint64_t position, const std::string &reversedName,
                               std::uint32_t hosts) {
    return std::to_string(position) + "\t3.4E7\t" + std::to_string(position + 1000) + "\t0.0012\t" +
           reversedName + "\t" + std::to_string(hosts) + "\n";
}

inline void WriteGzipFile(const std::filesystem::path &path, const std::string &text) {
    gzFile file = gzopen(path.c_str(), "wb1");
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
    std::size_t done = 0;
    while (done < text.size()) {
        const unsigned piece =
            static_cast<unsigned>(std::min<std::size_t>(text.size() - done, 1u << 20));
        if (gzwrite(file, text.data() + done, piece) != static_cast<int>(piece))
            break;
        done += piece;
    }
    if (gzclose(file) != Z_OK || done != text.size())
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace testsupport
