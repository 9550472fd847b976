#include "tests/support/OldIndexForms.h"

#include "rankindex/NameSection.h"
#include "rankindex/RankIndex.h"
#include "rankindex/RankIndexFormat.h"
#include "rankindex/RankIndexWriter.h"

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

// The hash-only form through the writer's key path, which writes version 1.
void WriteHashOnly(const std::filesystem::path &path, const Contents &contents) {
    rankindex::RankIndexWriter writer(path);
    std::uint64_t line = 0;
    for (const Named &named : contents.names)
        writer.Add(rankindex::DomainKey(rankindex::TurnLabels(named.reversed)),
                   named.facts.harmonicPosition, ++line);
    writer.Finish(contents.info);
    writer.Commit();
}

template <typename T> void Put(std::string &bytes, const T &value) {
    bytes.append(reinterpret_cast<const char *>(&value), sizeof value);
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
