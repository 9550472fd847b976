#include "rankindex/RankIndex.h"

#include "rankindex/ImportError.h"
#include "rankindex/RankImport.h"
#include "rankindex/RankIndexFormat.h"
#include "tests/rankindex/DataFiles.h"
#include "tests/support/OldIndexForms.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>

namespace rankindex {
namespace {

class RankIndexTest : public ::testing::Test {
protected:
    RankIndexTest() {
        std::string text;
        for (int i = 1; i <= 1000; ++i)
            text += std::to_string(i) + ",site" + std::to_string(i) + ".com\n";
        testdata::WritePlain(folder_.Path() / "list.csv", text);
        ImportRankFile(RankKind::RankList, folder_.Path() / "list.csv", folder_.Path());
        good_ = testdata::FileBytes(IndexPath(folder_.Path(), RankKind::RankList));
        // The same names in the form with hash buckets and records that imports wrote before.
        testsupport::MakeVersion2(IndexPath(folder_.Path(), RankKind::RankList));
        withRecords_ = testdata::FileBytes(IndexPath(folder_.Path(), RankKind::RankList));
    }
    // The message of the EIndexError that opening the bytes as an index raises, or "".
    std::string OpenError(const std::string &bytes) {
        testdata::WritePlain(Damaged(), bytes);
        try {
            RankIndex index(Damaged());
        } catch (const EIndexError &error) {
            return error.Message();
        }
        return "";
    }
    template <typename T>
    std::string With(std::size_t offset, T value, const std::string *of = nullptr) const {
        std::string bytes = of ? *of : good_;
        std::memcpy(bytes.data() + offset, &value, sizeof value);
        return bytes;
    }
    std::filesystem::path Damaged() const { return folder_.Path() / "damaged.idx"; }

    TempFolder folder_{"nimbrel-index"};
    std::string good_;
    std::string withRecords_;
};

TEST_F(RankIndexTest, DamagedHeadersAreRefusedOnOpening) {
    const struct {
        std::string bytes;
        const char *message;
    } cases[] = {
        {"", "too short"},
        {good_.substr(0, 79), "too short"},
        {good_.substr(0, good_.size() - 1), "cut short"},
        {good_ + "x", "its header says"},
        {With(offsetof(RankIndexHeader, magic), 'X'), "not a rank index"},
        {With(offsetof(RankIndexHeader, version), std::uint32_t{4}), "version 4"},
        {With(offsetof(RankIndexHeader, kind), std::uint32_t{7}), "unknown kind"},
        {With(offsetof(RankIndexHeader, bucketBits), std::uint32_t{40}), "outside the file"},
        {With(offsetof(RankIndexHeader, bucketBits), std::uint32_t{20}, &withRecords_),
         "outside the file"},
        {With(offsetof(RankIndexHeader, entryCount), std::uint64_t{withRecords_.size() / 12},
              &withRecords_),
         "outside the file"},
        {With(offsetof(RankIndexHeader, entryCount), std::uint64_t{999}), "names section"},
        {With(offsetof(RankIndexHeader, entryCount), ~std::uint64_t{0}), "outside the file"},
        {With(offsetof(RankIndexHeader, recordsOffset), ~std::uint64_t{0} - 5), "outside the file"},
        {With(offsetof(RankIndexHeader, bucketsOffset), std::uint64_t{8}), "outside the file"},
        {With(offsetof(RankIndexHeader, sourceNameLength), std::uint32_t{5000}),
         "outside the file"},
    };
    for (const auto &damaged : cases)
        EXPECT_NE(OpenError(damaged.bytes).find(damaged.message), std::string::npos)
            << damaged.message << ": " << OpenError(damaged.bytes);
    EXPECT_EQ(OpenError(good_), "");
    EXPECT_EQ(OpenError(withRecords_), "");
    EXPECT_THROW(RankIndex(folder_.Path() / "missing.idx"), EIndexError);
    EXPECT_THROW(RankIndex(folder_.Path()), EIndexError);
}

// Bucket bounds that point anywhere are kept inside the records (the sanitizer build would
// report a read outside them).
TEST_F(RankIndexTest, DamagedBucketTableNeverLeadsOutsideTheRecords) {
    RankIndexHeader header;
    std::memcpy(&header, withRecords_.data(), sizeof header);
    const std::size_t buckets = (std::size_t{1} << header.bucketBits) + 1;
    const std::function<std::uint32_t(std::size_t)> fillings[] = {
        [](std::size_t) { return 0xFFFFFFFFu; },
        [](std::size_t b) { return b % 2 ? 0u : 0xFFFFFFF0u; },
        [](std::size_t b) { return static_cast<std::uint32_t>(b * 7919u); },
    };
    for (const auto &filling : fillings) {
        std::string bytes = withRecords_;
        for (std::size_t b = 0; b < buckets; ++b) {
            const std::uint32_t value = filling(b);
            std::memcpy(bytes.data() + header.bucketsOffset + 4 * b, &value, 4);
        }
        testdata::WritePlain(Damaged(), bytes);
        const RankIndex index(Damaged());
        for (int i = 1; i <= 1000; ++i) {
            const auto found = index.Find("site" + std::to_string(i) + ".com");
            if (found) {
                EXPECT_EQ(*found, static_cast<std::uint32_t>(i));
            }
        }
    }
}

TEST_F(RankIndexTest, MovedIndexKeepsItsMapping) {
    RankIndex first(IndexPath(folder_.Path(), RankKind::RankList));
    RankIndex second(std::move(first));
    EXPECT_EQ(second.Find("site500.com"), 500u);
    first = std::move(second);
    EXPECT_EQ(first.Find("SITE1.COM"), 1u);
    EXPECT_EQ(first.Info().sourceName, "list.csv");
}

} // namespace
} // namespace rankindex
