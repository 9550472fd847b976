#pragma once

#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

// Web-graph rank files as the graph's releases publish them (gzip, tab-separated, a header line
// naming the columns), and an index turned back into the older hash-only form.
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

// Turns a version 2 index into version 1 (records only, no names section), as older imports
// wrote it. Header fields: version at byte 8, entries at 16, records' offset at 56, size at 72.
inline void MakeHashOnly(const std::filesystem::path &index) {
    std::fstream file(index, std::ios::in | std::ios::out | std::ios::binary);
    std::uint64_t entries = 0, records = 0;
    file.seekg(16);
    file.read(reinterpret_cast<char *>(&entries), sizeof entries);
    file.seekg(56);
    file.read(reinterpret_cast<char *>(&records), sizeof records);
    const std::uint32_t version = 1;
    const std::uint64_t size = records + entries * 12;
    file.seekp(8);
    file.write(reinterpret_cast<const char *>(&version), sizeof version);
    file.seekp(72);
    file.write(reinterpret_cast<const char *>(&size), sizeof size);
    file.close();
    std::filesystem::resize_file(index, size);
}

} // namespace testsupport
