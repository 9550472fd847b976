// Small data files written the ways an import may meet them.
#pragma once

#include "rankindex/CompressedFile.h"

#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace testdata {

using Format = rankindex::CompressedFile::Format;

inline void WritePlain(const std::filesystem::path &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline void WriteGzip(const std::filesystem::path &path, const std::string &text) {
    gzFile file = gzopen(path.c_str(), "wb6");
    ASSERT_NE(file, nullptr);
    if (!text.empty()) {
        ASSERT_EQ(gzwrite(file, text.data(), static_cast<unsigned>(text.size())),
                  static_cast<int>(text.size()));
    }
    ASSERT_EQ(gzclose(file), Z_OK);
}

// An archive with a file of each name; text goes into the first.
inline void WriteZip(const std::filesystem::path &path, const std::string &text,
                     const std::vector<std::string> &names = {"top-1m.csv"}) {
    int error = 0;
    zip_t *archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const std::string &name : names) {
        const std::string &content = &name == &names.front() ? text : name;
        zip_source_t *source = zip_source_buffer(archive, content.data(), content.size(), 0);
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

inline void WriteAs(Format format, const std::filesystem::path &path, const std::string &text) {
    switch (format) {
    case Format::Plain:
        WritePlain(path, text);
        break;
    case Format::Gzip:
        WriteGzip(path, text);
        break;
    case Format::Zip:
        WriteZip(path, text);
        break;
    }
}

// A name for test parameters.
inline std::string FormatLabel(const ::testing::TestParamInfo<Format> &info) {
    const char *labels[] = {"Plain", "Gzip", "Zip"};
    return labels[static_cast<int>(info.param)];
}

inline std::string FileBytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void Truncate(const std::filesystem::path &path, std::size_t keep) {
    std::filesystem::resize_file(path, keep);
}

} // namespace testdata
