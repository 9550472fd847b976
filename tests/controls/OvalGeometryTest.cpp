#include "controls/OvalGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace controls;

namespace {

bool ArcCovers(const TArcSpan &arc, double degrees) {
    double offset = degrees - arc.StartDegrees;
    while (offset < 0)
        offset += 360;
    return offset <= arc.SpanDegrees;
}

} // namespace

TEST(OvalGeometry, RingsOfAWideButtonAndWhereTheirHalvesMeet) {
    EXPECT_EQ(BevelRingBox(100, 50, 1), (TRect{1, 1, 98, 48}));
    EXPECT_EQ(BevelRingBox(100, 50, 2), (TRect{2, 2, 97, 47}));
    const TBevelRadials radials = BevelRadials(100, 50);
    EXPECT_EQ(radials.UpperRight, (TPoint{80, 10}));
    EXPECT_EQ(radials.LowerLeft, (TPoint{20, 40}));
    EXPECT_EQ(BevelRadials(64, 31).UpperRight, (TPoint{48, 6}));
    EXPECT_EQ(BevelRadials(64, 31).LowerLeft, (TPoint{12, 24}));
}

TEST(OvalGeometry, UpperLeftHalfRunsCounterClockwiseOverTopAndLeft) {
    for (int ring = 1; ring <= 2; ++ring) {
        const TRect box = BevelRingBox(100, 50, ring);
        const TBevelRadials r = BevelRadials(100, 50);
        const TArcSpan upper = ArcBetweenRadials(box, r.UpperRight, r.LowerLeft);
        const TArcSpan lower = ArcBetweenRadials(box, r.LowerLeft, r.UpperRight);
        EXPECT_TRUE(ArcCovers(upper, 90));  // top
        EXPECT_TRUE(ArcCovers(upper, 180)); // left
        EXPECT_FALSE(ArcCovers(upper, 270));
        EXPECT_FALSE(ArcCovers(upper, 0));
        EXPECT_TRUE(ArcCovers(lower, 270));
        EXPECT_TRUE(ArcCovers(lower, 0));
        // The two halves close the ring without a gap.
        EXPECT_NEAR(upper.SpanDegrees + lower.SpanDegrees, 360, 1e-9);
        EXPECT_NEAR(std::fmod(upper.StartDegrees + upper.SpanDegrees, 360), lower.StartDegrees,
                    1e-9);
        // The radial through (80, 10) meets a 98 x 48 ellipse on its upper right.
        EXPECT_GT(upper.StartDegrees, 30);
        EXPECT_LT(upper.StartDegrees, 60);
    }
}

TEST(OvalGeometry, OnlyTheEllipseAnswersThePointer) {
    struct Case {
        int x, y;
        bool inside;
    };
    const Case cases[] = {
        {50, 25, true},  {0, 25, true},  {99, 25, true},  {50, 0, true},    {50, 49, true},
        {0, 0, false},   {99, 0, false}, {0, 49, false},  {99, 49, false},  {5, 5, false},
        {92, 44, false}, {15, 10, true}, {-1, 25, false}, {100, 25, false}, {50, 50, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PtInOval(100, 50, c.x, c.y), c.inside) << c.x << "," << c.y;
    EXPECT_FALSE(PtInOval(0, 0, 0, 0));
}

TEST(OvalGeometry, CaptionWithoutGlyphIsCentredAndMovesWhenPressed) {
    TContentMeasures m{
        .Width = 100, .Height = 50, .HasCaption = true, .TextWidth = 35, .TextHeight = 13};
    TContentPlacement rest = PlaceContent(m);
    EXPECT_EQ(rest.Caption, (TRect{32, 18, 67, 31}));
    EXPECT_EQ(rest.CaptionFill, (TRect{33, 19, 68, 32}));
    m.Pressed = true;
    TContentPlacement pressed = PlaceContent(m);
    EXPECT_EQ(pressed.Caption, (TRect{33, 19, 68, 32}));
    EXPECT_EQ(pressed.CaptionFill, (TRect{33, 19, 68, 32}));
}

TEST(OvalGeometry, GlyphLeftOfTheCaptionWithMargin) {
    TContentMeasures m{.Width = 100,
                       .Height = 50,
                       .HasGlyph = true,
                       .GlyphWidth = 16,
                       .GlyphHeight = 16,
                       .HasCaption = true,
                       .TextWidth = 14,
                       .TextHeight = 13,
                       .Layout = TButtonLayout::blGlyphLeft,
                       .Spacing = 4,
                       .Margin = 2};
    TContentPlacement rest = PlaceContent(m);
    EXPECT_EQ(rest.Glyph, (TRect{31, 17, 47, 33}));
    EXPECT_EQ(rest.Caption.Left, 51);
    EXPECT_EQ(rest.Caption.Top, 18);
    m.Pressed = true;
    TContentPlacement pressed = PlaceContent(m);
    EXPECT_EQ(pressed.Glyph, (TRect{32, 18, 48, 34}));
    EXPECT_EQ(pressed.Caption.Left, 53);
    EXPECT_EQ(pressed.Caption.Top, 19);
}

TEST(OvalGeometry, EveryLayoutPlacesGlyphAndCaptionAndMovesThemWhenPressed) {
    struct Case {
        TButtonLayout layout;
        TRect glyph;
        TPoint caption;
        TPoint captionMove;
    };
    // A 100 x 50 button, glyph 16 x 16, caption 20 x 10, spacing 4, margin 0.
    const Case cases[] = {
        {TButtonLayout::blGlyphBottom, {42, 24, 58, 40}, {40, 10}, {1, 2}},
        {TButtonLayout::blGlyphTop, {42, 10, 58, 26}, {40, 30}, {1, 2}},
        {TButtonLayout::blGlyphLeft, {30, 17, 46, 33}, {50, 20}, {2, 1}},
        {TButtonLayout::blGlyphRight, {54, 17, 70, 33}, {30, 20}, {2, 1}},
    };
    for (const auto &c : cases) {
        TContentMeasures m{.Width = 100,
                           .Height = 50,
                           .HasGlyph = true,
                           .GlyphWidth = 16,
                           .GlyphHeight = 16,
                           .HasCaption = true,
                           .TextWidth = 20,
                           .TextHeight = 10,
                           .Layout = c.layout};
        const TContentPlacement rest = PlaceContent(m);
        m.Pressed = true;
        const TContentPlacement pressed = PlaceContent(m);
        SCOPED_TRACE(int(c.layout));
        EXPECT_EQ(rest.Glyph, c.glyph);
        EXPECT_EQ((TPoint{rest.Caption.Left, rest.Caption.Top}), c.caption);
        EXPECT_EQ(pressed.Glyph, c.glyph.Moved(1, 1));
        EXPECT_EQ((TPoint{pressed.Caption.Left - rest.Caption.Left,
                          pressed.Caption.Top - rest.Caption.Top}),
                  c.captionMove);
    }
}

TEST(OvalGeometry, GlyphWithoutCaptionIsCentredWhateverTheLayoutAndMargin) {
    for (auto layout : {TButtonLayout::blGlyphBottom, TButtonLayout::blGlyphLeft,
                        TButtonLayout::blGlyphRight, TButtonLayout::blGlyphTop}) {
        const TContentMeasures m{.Width = 100,
                                 .Height = 50,
                                 .HasGlyph = true,
                                 .GlyphWidth = 16,
                                 .GlyphHeight = 16,
                                 .Layout = layout,
                                 .Margin = 7};
        EXPECT_EQ(PlaceContent(m).Glyph, (TRect{42, 17, 58, 33}));
    }
}

TEST(OvalGeometry, StripsCoverWhereTheGlyphStoodInItsOtherPlace) {
    TContentMeasures m{
        .Width = 100, .Height = 50, .HasGlyph = true, .GlyphWidth = 16, .GlyphHeight = 16};
    const TContentPlacement rest = PlaceContent(m);
    EXPECT_EQ(rest.Strips[0], (TRect{58, 17, 59, 33})); // right column
    EXPECT_EQ(rest.Strips[1], (TRect{43, 33, 59, 34})); // bottom row
    m.Pressed = true;
    const TContentPlacement pressed = PlaceContent(m);
    EXPECT_EQ(pressed.Strips[0], (TRect{42, 17, 43, 35})); // left column
    EXPECT_EQ(pressed.Strips[1], (TRect{42, 17, 59, 18})); // top row
}

TEST(OvalGeometry, GlyphCellForEachLook) {
    struct Case {
        int numGlyphs;
        bool enabled, pressed;
        TRect cell;
    };
    const Case cases[] = {
        {3, true, false, {0, 0, 16, 16}},  {3, false, false, {16, 0, 32, 16}},
        {3, true, true, {32, 0, 48, 16}},  {3, false, true, {32, 0, 48, 16}},
        {2, true, true, {0, 0, 24, 16}},   {2, false, true, {24, 0, 48, 16}},
        {1, false, false, {0, 0, 48, 16}}, {4, true, false, {0, 0, 12, 16}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(GlyphSourceCell(48, 16, c.numGlyphs, c.enabled, c.pressed), c.cell)
            << c.numGlyphs << c.enabled << c.pressed;
    }
}

TEST(OvalGeometry, AcceleratorIsTheCharacterAfterTheFirstAmpersand) {
    struct Case {
        const char *typed;
        const char *caption;
        bool matches;
    };
    const Case cases[] = {
        {"c", "&Close", true},
        {"C", "&close", true},
        {"l", "&Close", false},
        {"o", "Cl&ose", true},
        {"x", "Close", false},
        {"x", "Close&", false},
        {"&", "Save && Go", true},
        {"g", "Save && &Go", false},
        {"", "&Close", false},
        {"\xC3\xA4", "&\xC3\xA4pfel", true},
        {"\xC3\x84", "&\xC3\xA4pfel", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MatchesAccelerator(c.typed, c.caption), c.matches) << c.typed << c.caption;
}
