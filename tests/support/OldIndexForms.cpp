#include "tests/support/OldIndexForms.h"

#include "rankindex/NameSection.h"
#include "rankindex/RankIndex.h"
#include "rankindex/RankIndexFormat.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {
namespace {

struct Named {
    std::string reversed;
    rankindex::NameFacts facts;
};

struct Contents {
    rankindex::RankIndexInfo info;
    std::vector<Named> names; // in the section's order
};

Contents Read(const std::filesystem::path &path) {
    const rankindex::RankIndex index(path);
    if (!index.Names())
        throw std::runtime_error(path.string() + " holds no names");
    Contents contents{index.Info(), {}};
    const rankindex::NameSection &names = *index.Names();
    for (std::uint64_t block = 0; block < names.BlockCount(); ++block) {
        rankindex::NameBlockReader reader = names.Block(block);
        std::string_view name;
        rankindex::NameFacts facts;
        while (reader.Next(name, facts))
            contents.names.push_back({std::string(name), facts});
    }
    return contents;
}

template <typename T> void Put(std::string &bytes, const T &value) {
    bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
}

void PadTo8(std::string &bytes) {
    bytes.resize((bytes.size() + 7) & ~std::size_t{7}, '\0');
}

// Version 1 as it was documented: the header, the source's name, the buckets (a key's top
// bucketBits bits choose its bucket; bucket b's records run from buckets[b] to buckets[b + 1]),
// then the records, (u64 key, u32 position) sorted by key.
void WriteHashOnly(const std::filesystem::path &path, const Contents &contents) {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> records;
    for (const Named &named : contents.names)
        records.emplace_back(rankindex::DomainKey(rankindex::TurnLabels(named.reversed)),
                             named.facts.harmonicPosition);
    std::sort(records.begin(), records.end());

    const std::string name = contents.info.sourceName.substr(0, rankindex::kMaxSourceNameLength);
    rankindex::RankIndexHeader header{};
    std::memcpy(header.magic, rankindex::kRankIndexMagic, sizeof header.magic);
    header.version = rankindex::kHashOnlyRankIndexVersion;
    header.kind = static_cast<std::uint32_t>(contents.info.kind);
    header.entryCount = records.size();
    header.sourceLines = contents.info.sourceLines;
    header.skippedLines = contents.info.skippedLines;
    header.importTime = contents.info.importTime;
    header.bucketBits = rankindex::BucketBitsFor(records.size());
    header.sourceNameLength = static_cast<std::uint32_t>(name.size());

    std::string body = name;
    PadTo8(body);
    header.bucketsOffset = sizeof header + body.size();
    std::size_t record = 0;
    for (std::uint64_t bucket = 0; bucket <= (std::uint64_t{1} << header.bucketBits); ++bucket) {
        while (record < records.size() &&
               rankindex::BucketOf(records[record].first, header.bucketBits) < bucket)
            ++record;
        Put(body, static_cast<std::uint32_t>(record));
    }
    PadTo8(body);
    header.recordsOffset = sizeof header + body.size();
    for (const auto &[key, position] : records) {
        Put(body, key);
        Put(body, position);
    }
    header.fileSize = sizeof header + body.size();

    std::string file;
    Put(file, header);
    file += body;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// The names section as version 2 wrote it: front-coded blocks of 16 names, each name followed by
// u32 harmonic position, u32 PageRank position, u32 hosts; then the block index.
std::string FixedNamesSection(const std::vector<Named> &names) {
    std::string blocks;
    std::string index;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string &name = names[i].reversed;
        std::size_t shared = 0;
        if (i % rankindex::kNamesPerBlock == 0) {
            Put(index, rankindex::NamePrefixKey(name, 0));
            Put(index, rankindex::NamePrefixKey(name, 8));
            Put(index, std::uint64_t{blocks.size()});
        } else {
            const std::string &previous = names[i - 1].reversed;
            while (shared < name.size() && shared < previous.size() &&
                   name[shared] == previous[shared])
                ++shared;
        }
        blocks += static_cast<char>(shared);
        blocks += static_cast<char>(name.size() - shared);
        blocks.append(name, shared);
        Put(blocks, names[i].facts.harmonicPosition);
        Put(blocks, names[i].facts.pageRankPosition);
        Put(blocks, names[i].facts.hosts);
    }
    rankindex::NameSectionHeader header{};
    std::memcpy(header.magic, rankindex::kNameSectionMagic, sizeof header.magic);
    header.nameCount = names.size();
    header.namesPerBlock = rankindex::kNamesPerBlock;
    header.blockCount = index.size() / rankindex::kNameIndexEntryBytes;
    header.blocksBytes = blocks.size();
    header.indexOffset = (sizeof header + blocks.size() + 7) & ~std::uint64_t{7};
    std::string section;
    Put(section, header);
    section += blocks;
    section.resize(header.indexOffset, '\0');
    return section + index;
}

} // namespace

void MakeHashOnly(const std::filesystem::path &index) {
    WriteHashOnly(index, Read(index));
}

// The version 1 file with the version set to 2 and a names section after its records.
void MakeVersion2(const std::filesystem::path &index) {
    const Contents contents = Read(index);
    WriteHashOnly(index, contents);
    std::fstream file(index, std::ios::in | std::ios::out | std::ios::binary);
    rankindex::RankIndexHeader header{};
    file.read(reinterpret_cast<char *>(&header), sizeof header);
    header.version = rankindex::kNamedRecordsRankIndexVersion;
    const std::uint64_t namesOffset = rankindex::NamesOffset(header);
    const std::string section = FixedNamesSection(contents.names);
    header.fileSize = namesOffset + section.size();
    file.seekp(0);
    file.write(reinterpret_cast<const char *>(&header), sizeof header);
    file.seekp(static_cast<std::streamoff>(namesOffset));
    file.write(section.data(), static_cast<std::streamsize>(section.size()));
    if (!file)
        throw std::runtime_error("cannot write " + index.string());
}

} // namespace testsupport
