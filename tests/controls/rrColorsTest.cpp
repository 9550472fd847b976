#include "controls/rrColors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace controls;

namespace {

void ExpectTriple(const ColorTriple &actual, const ColorTriple &expected) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-9) << "component " << i;
}

std::string MessageOf(auto &&call) {
    try {
        call();
    } catch (const EColorConv &e) {
        return e.Message();
    }
    return "(nothing raised)";
}

} // namespace

TEST(ColorModel, ConvertsTheKnownColours) {
    struct Case {
        ColorTriple rgb;
        ColorTriple hls;
    };
    const Case cases[] = {
        {{1, 0, 0}, {1, 0.5, 1}},       // red comes out with hue 1, not 0
        {{0.5, 0.5, 0.5}, {0, 0.5, 0}}, // the middle grey
        {{0.2, 0.2, 0.2}, {0, 0.2, 0}}, // a dark grey keeps its value as luminance
        {{0.9, 0.9, 0.9}, {0, 0.9, 0}}, // and so does a light one
        {{0, 0, 128 / 255.0}, {2 / 3.0, 64 / 255.0, 1}},
        {{0, 1, 0}, {1 / 3.0, 0.5, 1}},
        {{1, 1, 0}, {1 / 6.0, 0.5, 1}},
        {{1, 1, 1}, {0, 1, 0}},
        {{0, 0, 0}, {0, 0, 0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rgb[0] << "," << c.rgb[1] << "," << c.rgb[2]);
        ExpectTriple(RGB2HLS(c.rgb), c.hls);
        ExpectTriple(HLS2RGB(c.hls), c.rgb);
    }
}

TEST(ColorModel, HueZeroAndOneBothMeanRed) {
    ExpectTriple(HLS2RGB(0, 0.5, 1), {1, 0, 0});
    ExpectTriple(HLS2RGB(1, 0.5, 1), {1, 0, 0});
}

TEST(ColorModel, RoundTripReturnsEveryColourOfAGrid) {
    constexpr int Steps = 17;
    for (int r = 0; r < Steps; ++r) {
        for (int g = 0; g < Steps; ++g) {
            for (int b = 0; b < Steps; ++b) {
                const ColorTriple rgb{r / 16.0, g / 16.0, b / 16.0};
                const ColorTriple back = HLS2RGB(RGB2HLS(rgb));
                for (int i = 0; i < 3; ++i)
                    ASSERT_NEAR(back[i], rgb[i], 1e-9) << r << "," << g << "," << b;
            }
        }
    }
}

TEST(ColorModel, RangeChecksNameTheFirstBadComponent) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string message;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"HLS2RGB: 0 <= Luminance value <= 1 required", [] { HLS2RGB(0.3, 1.2, 0.5); }},
        {"HLS2RGB: 0 <= Hue value <= 1 required", [] { HLS2RGB(-0.1, 1.2, 2); }},
        {"HLS2RGB: 0 <= Saturation value <= 1 required", [=] { HLS2RGB(1, 0, nan); }},
        {"RGB2HLS: 0 <= Red value <= 1 required", [] { RGB2HLS(-0.1, 2, 0); }},
        {"RGB2HLS: 0 <= Green value <= 1 required", [=] { RGB2HLS(1, nan, 0); }},
        {"RGB2HLS: 0 <= Blue value <= 1 required", [] { RGB2HLS(0, 1, 1.0000001); }},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MessageOf(c.call), c.message);
}

TEST(ShadeColors, DerivesLightAndDarkVariants) {
    struct Case {
        TColor face, light, dark;
    };
    const auto rgb = TColor::FromRGB;
    const Case cases[] = {
        {rgb(192, 192, 192), rgb(223, 223, 223), rgb(115, 115, 115)},
        {rgb(212, 208, 200), rgb(233, 231, 227), rgb(139, 129, 108)},
        {rgb(255, 255, 255), rgb(255, 255, 255), rgb(153, 153, 153)},
        {rgb(0, 0, 0), rgb(127, 127, 127), rgb(0, 0, 0)},
        {rgb(1, 1, 1), rgb(127, 127, 127), rgb(1, 1, 1)},
        {rgb(200, 100, 50), rgb(227, 177, 152), rgb(120, 60, 30)},
        // The float nearest 0.6 lies slightly above it; the double 0.6 would give blue 22.
        {rgb(92, 230, 76), rgb(173, 242, 165), rgb(37, 161, 23)},
    };
    for (const auto &c : cases) {
        const auto [light, dark] = ShadeColors(c.face, 0.5f, 0.6f);
        EXPECT_EQ(light, c.light) << int(c.face.Red()) << "," << int(c.face.Green());
        EXPECT_EQ(dark, c.dark) << int(c.face.Red()) << "," << int(c.face.Green());
    }
}

TEST(ShadeColors, ResolvesSystemColoursThroughTheInstalledTable) {
    const auto table = [](SystemColor) { return TColor::FromRGB(192, 192, 192); };
    const SystemColorTable previous = SetSystemColorTable(table);
    const auto [light, dark] = ShadeColors(clBtnFace, 0.5f, 0.6f);
    SetSystemColorTable(previous);
    EXPECT_EQ(light, TColor::FromRGB(223, 223, 223));
    EXPECT_EQ(dark, TColor::FromRGB(115, 115, 115));
}

TEST(ShadeColors, KeepsChannelsInEightBitsForExtremeFactors) {
    const auto [light, dark] = ShadeColors(clBlack, 1.0f, 0.6f);
    EXPECT_EQ(light, TColor::FromRGB(0, 0, 0));
    EXPECT_EQ(dark, clBlack);
    EXPECT_THROW(ShadeColors(clWhite, 0.5f, 2.0f), EColorConv);
}

TEST(ShadeColors, DarkFactorInDoublePrecisionWouldGiveAnotherBlue) {
    ColorTriple hls = RGB2HLS(92 / 255.0, 230 / 255.0, 76 / 255.0);
    hls[1] *= 0.6;
    EXPECT_EQ(std::lrint(255 * HLS2RGB(hls)[2]), 22);
}
