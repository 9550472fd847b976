#include "controls/OvalGeometry.h"

#include "base/AsciiCase.h"

#include <cmath>
#include <numbers>

namespace controls {
namespace {

// Halving rounds down, also for content larger than the control.
int Half(int value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

double AngleOnEllipse(const TRect &box, TPoint point) {
    // The ellipse drawn for a box covers the pixels Left..Right-1 and Top..Bottom-1.
    const double rx = std::max(0.5, (box.Width() - 1) / 2.0);
    const double ry = std::max(0.5, (box.Height() - 1) / 2.0);
    const double cx = box.Left + (box.Width() - 1) / 2.0;
    const double cy = box.Top + (box.Height() - 1) / 2.0;
    // Screen y grows downwards; counter-clockwise means towards smaller y.
    const double degrees =
        std::atan2(-(point.Y - cy) / ry, (point.X - cx) / rx) * 180 / std::numbers::pi;
    return degrees < 0 ? degrees + 360 : degrees;
}

struct GlyphOrigin {
    int Left;
    int Top;
};

GlyphOrigin PlaceGlyph(const TContentMeasures &m) {
    const int gw = m.GlyphWidth;
    const int gh = m.GlyphHeight;
    const int tw = m.TextWidth;
    const int th = m.TextHeight;
    int left = Half(m.Width - gw);
    if (m.HasCaption && m.Layout == TButtonLayout::blGlyphLeft)
        left = Half(m.Width - (tw + m.Spacing + gw)) - m.Margin;
    else if (m.HasCaption && m.Layout == TButtonLayout::blGlyphRight)
        left = Half(tw + m.Spacing + gw + m.Width) - gw + m.Margin;

    int top = Half(m.Height - gh);
    if (m.HasCaption && m.Layout == TButtonLayout::blGlyphTop)
        top = Half(m.Height - (th + gh + m.Spacing)) - m.Margin;
    else if (m.HasCaption && m.Layout == TButtonLayout::blGlyphBottom)
        top = Half(th + gh + m.Spacing + m.Height) - gh + m.Margin;
    return {left, top};
}

void PlaceStrips(TContentPlacement &placement, bool pressed) {
    const TRect &g = placement.Glyph;
    if (pressed) {
        // The column left of the glyph and the row above it, where the normal glyph stood.
        placement.Strips[0] = {g.Left - 1, g.Top - 1, g.Left, g.Bottom + 1};
        placement.Strips[1] = {g.Left - 1, g.Top - 1, g.Right, g.Top};
        return;
    }
    // The column right of the glyph and the row below it, where the pressed glyph stood.
    placement.Strips[0] = {g.Right, g.Top, g.Right + 1, g.Bottom};
    placement.Strips[1] = {g.Left + 1, g.Bottom, g.Right + 1, g.Bottom + 1};
}

} // namespace

bool PtInOval(int width, int height, int x, int y) {
    if (width <= 0 || height <= 0 || x < 0 || y < 0 || x >= width || y >= height)
        return false;
    // The pixel belongs to the region when its centre lies within the ellipse of the box.
    const double rx = width / 2.0;
    const double ry = height / 2.0;
    const double dx = (x + 0.5 - rx) / rx;
    const double dy = (y + 0.5 - ry) / ry;
    return dx * dx + dy * dy <= 1.0;
}

TRect BevelRingBox(int width, int height, int ring) {
    return {ring, ring, width - ring - 1, height - ring - 1};
}

TBevelRadials BevelRadials(int width, int height) {
    return {{4 * (width / 5), height / 5}, {width / 5, 4 * (height / 5)}};
}

TArcSpan ArcBetweenRadials(const TRect &box, TPoint from, TPoint to) {
    const double start = AngleOnEllipse(box, from);
    double span = AngleOnEllipse(box, to) - start;
    if (span <= 0)
        span += 360;
    return {start, span};
}

TRect GlyphSourceCell(int glyphWidth, int glyphHeight, int numGlyphs, bool enabled, bool pressed) {
    if (numGlyphs <= 0)
        return {0, 0, glyphWidth, glyphHeight};
    const int cw = glyphWidth / numGlyphs;
    int cell = 0;
    if (!enabled && numGlyphs > 1)
        cell = 1;
    if (pressed && numGlyphs > 2)
        cell = 2;
    return {cell * cw, 0, (cell + 1) * cw, glyphHeight};
}

TContentPlacement PlaceContent(const TContentMeasures &m) {
    TContentPlacement placement;
    if (m.HasGlyph) {
        const auto [left, top] = PlaceGlyph(m);
        placement.Glyph = {left, top, left + m.GlyphWidth, top + m.GlyphHeight};
        if (m.Pressed)
            placement.Glyph = placement.Glyph.Moved(1, 1);
        PlaceStrips(placement, m.Pressed);
    }
    if (!m.HasCaption)
        return placement;

    int tx = Half(m.Width - m.TextWidth);
    int ty = Half(m.Height - m.TextHeight);
    if (m.HasGlyph) {
        const TRect &g = placement.Glyph;
        switch (m.Layout) {
        case TButtonLayout::blGlyphRight:
            tx = g.Left - m.TextWidth - m.Spacing;
            break;
        case TButtonLayout::blGlyphLeft:
            tx = g.Left + m.GlyphWidth + m.Spacing;
            break;
        case TButtonLayout::blGlyphTop:
            ty = g.Top + m.GlyphHeight + m.Spacing;
            break;
        case TButtonLayout::blGlyphBottom:
            ty = g.Top - m.TextHeight - m.Spacing;
            break;
        }
    }
    if (m.Pressed) {
        ++tx;
        ++ty;
    }
    placement.Caption = {tx, ty, tx + m.TextWidth, ty + m.TextHeight};
    placement.CaptionFill = m.Pressed ? placement.Caption : placement.Caption.Moved(1, 1);
    return placement;
}

bool MatchesAccelerator(std::string_view typed, std::string_view caption) {
    const std::size_t amp = caption.find('&');
    if (typed.empty() || amp == std::string_view::npos || amp + 1 >= caption.size())
        return false;
    const std::string_view marked = caption.substr(amp + 1, typed.size());
    if (marked.size() != typed.size())
        return false;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (base::AsciiUpperChar(marked[i]) != base::AsciiUpperChar(typed[i]))
            return false;
    }
    return true;
}

} // namespace controls
