#include "ui/JpegImage.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

static void RegisterAboutResources() {
    Q_INIT_RESOURCE(about);
}

using ui::DecodeJpeg;
using ui::EJpegError;

namespace {

// Encodes width x height pixels given by colourAt(x, y) -> {r, g, b} (or grey when components
// is 1) into a baseline JPEG.
template <typename ColourAt>
std::vector<unsigned char> Encode(int width, int height, int components, ColourAt colourAt) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(std::size_t(width) * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto rgb = colourAt(x, y);
            for (int c = 0; c < components; ++c)
                row[std::size_t(x) * components + c] = rgb[c];
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<unsigned char> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return bytes;
}

std::vector<unsigned char> Halves() {
    // Left half red, right half blue.
    return Encode(32, 16, 3, [](int x, int) {
        return x < 16 ? std::array<unsigned char, 3>{220, 20, 20}
                      : std::array<unsigned char, 3>{20, 20, 220};
    });
}

// Busy enough that the picture data, not the tables, makes up most of the file.
std::vector<unsigned char> Noisy() {
    return Encode(64, 64, 3, [](int x, int y) {
        const unsigned v = unsigned(x * 7919 + y * 104729) * 2654435761u;
        return std::array<unsigned char, 3>{(unsigned char)(v >> 24), (unsigned char)(v >> 16),
                                            (unsigned char)(v >> 8)};
    });
}

void ExpectNear(QColor actual, QColor expected) {
    EXPECT_NEAR(actual.red(), expected.red(), 6);
    EXPECT_NEAR(actual.green(), expected.green(), 6);
    EXPECT_NEAR(actual.blue(), expected.blue(), 6);
}

std::string FailureOf(const std::vector<unsigned char> &bytes) {
    try {
        DecodeJpeg(bytes.data(), bytes.size());
    } catch (const EJpegError &e) {
        return e.Message();
    }
    return "";
}

} // namespace

TEST(DecodeJpeg, DecodesColourAndGreyPictures) {
    const std::vector<unsigned char> colour = Halves();
    const QImage image = DecodeJpeg(colour.data(), colour.size());
    ASSERT_EQ(image.size(), QSize(32, 16));
    ExpectNear(image.pixelColor(4, 8), QColor(220, 20, 20));
    ExpectNear(image.pixelColor(28, 8), QColor(20, 20, 220));

    const std::vector<unsigned char> grey =
        Encode(8, 8, 1, [](int, int) { return std::array<unsigned char, 1>{128}; });
    ExpectNear(DecodeJpeg(grey.data(), grey.size()).pixelColor(3, 3), QColor(128, 128, 128));
}

TEST(DecodeJpeg, RefusesDamagedData) {
    const std::vector<unsigned char> good = Noisy();
    ASSERT_GT(good.size(), 4000u);
    ASSERT_NO_THROW(DecodeJpeg(good.data(), good.size()));
    struct Case {
        const char *name;
        std::vector<unsigned char> bytes;
    };
    std::vector<unsigned char> garbled = good;
    for (std::size_t i = garbled.size() - 1500; i < garbled.size() - 500; i += 3)
        garbled[i] ^= 0x5A;
    std::vector<unsigned char> zeroSize = good;
    // The frame header's height and width follow the SOF0 marker, its length and precision.
    for (std::size_t i = 0; i + 8 < zeroSize.size(); ++i) {
        if (zeroSize[i] == 0xFF && zeroSize[i + 1] == 0xC0) {
            zeroSize[i + 5] = zeroSize[i + 6] = 0;
            break;
        }
    }
    const Case cases[] = {
        {"not a JPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0}},
        {"only the start marker", {0xFF, 0xD8}},
        {"cut in the header", {good.begin(), good.begin() + 40}},
        {"cut in the picture data", {good.begin(), good.end() - 1000}},
        {"damaged picture data", garbled},
        {"zero height", zeroSize},
    };
    for (const auto &c : cases) {
        const std::string failure = FailureOf(c.bytes);
        EXPECT_EQ(failure.rfind("JPEG picture: ", 0), 0u) << c.name << ": " << failure;
        EXPECT_GT(failure.size(), 14u) << c.name;
    }
    EXPECT_THROW(DecodeJpeg(nullptr, 0), EJpegError);
    EXPECT_THROW(DecodeJpeg(good.data(), 0), base::Exception);
}

TEST(DecodeJpeg, TheAboutPictureIsAJpegOfTheRightSize) {
    RegisterAboutResources();
    QFile file(":/pictures/about-box.jpg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QImage image =
        DecodeJpeg(reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size());
    EXPECT_EQ(image.size(), QSize(150, 140));
}
