#pragma once

#include <cstdint>
#include <string_view>

// Where the oval button puts its rings, glyph and caption, and which points it answers to.
// Plain functions of the button's measures, so the drawing code only draws what they say.
namespace controls {

struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint &, const TPoint &) = default;
};

// Right and Bottom are exclusive, as in the window system's rectangles.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    TRect Moved(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
    friend bool operator==(const TRect &, const TRect &) = default;
};

// Where the glyph stands relative to the caption.
enum class TButtonLayout : std::uint8_t { blGlyphBottom, blGlyphLeft, blGlyphRight, blGlyphTop };

// The elliptic region of a control of this size holds the point (the pointer's hit test).
bool PtInOval(int width, int height, int x, int y);

// Bounding box of bevel ring `ring` (1 is the outermost), inside the outline ellipse.
TRect BevelRingBox(int width, int height, int ring);

// The two points whose radials split every ring: the upper-left half runs counter-clockwise
// from the radial through UpperRight to the one through LowerLeft; the lower-right half the
// rest of the way round.
struct TBevelRadials {
    TPoint UpperRight;
    TPoint LowerLeft;
};
TBevelRadials BevelRadials(int width, int height);

// An elliptic arc in the painter's terms: angles in degrees, counter-clockwise from three
// o'clock, measured on the ellipse's own parameter so that it can be drawn directly.
struct TArcSpan {
    double StartDegrees = 0;
    double SpanDegrees = 0;
};
// The arc of the ellipse in box that runs counter-clockwise from the radial through `from` to
// the radial through `to`, radials starting at the ellipse's centre.
TArcSpan ArcBetweenRadials(const TRect &box, TPoint from, TPoint to);

// The cell of a glyph strip of numGlyphs equal images (normal, disabled, pressed) to draw.
TRect GlyphSourceCell(int glyphWidth, int glyphHeight, int numGlyphs, bool enabled, bool pressed);

struct TContentMeasures {
    int Width = 0;  // the control
    int Height = 0; // the control
    bool HasGlyph = false;
    int GlyphWidth = 0; // the source cell
    int GlyphHeight = 0;
    bool HasCaption = false;
    int TextWidth = 0; // the caption in the caption font
    int TextHeight = 0;
    TButtonLayout Layout = TButtonLayout::blGlyphBottom;
    int Spacing = 4;
    int Margin = 0;
    bool Pressed = false;
};

struct TContentPlacement {
    TRect Glyph; // after the pressed move
    // The one-pixel strips beside the glyph that it leaves uncovered when it moves between its
    // pressed and its normal place; painted in the face colour.
    TRect Strips[2];
    TRect Caption;
    TRect CaptionFill; // the face-coloured patch under the caption
};

TContentPlacement PlaceContent(const TContentMeasures &measures);

// The caption's first "&" marks the next character as the accelerator; typed is one character
// (UTF-8), compared with the ASCII letters folded.
bool MatchesAccelerator(std::string_view typed, std::string_view caption);

} // namespace controls
