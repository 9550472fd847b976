#include "controls/OvalBtn.h"

#include "controls/DesktopColors.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace controls {
namespace {

// The painter's rectangle for a window-system box whose right and bottom edges are exclusive:
// a one-pixel pen then covers the pixels Left..Right-1 and Top..Bottom-1.
QRectF DrawingRect(const TRect &box) {
    return QRectF(box.Left, box.Top, box.Width() - 1, box.Height() - 1);
}

QRect FillRect(const TRect &box) {
    return QRect(box.Left, box.Top, box.Width(), box.Height());
}

int ArcUnits(double degrees) {
    return static_cast<int>(std::lround(degrees * 16));
}

void DrawArc(QPainter &painter, const TRect &box, TPoint from, TPoint to) {
    const TArcSpan arc = ArcBetweenRadials(box, from, to);
    painter.drawArc(DrawingRect(box), ArcUnits(arc.StartDegrees), ArcUnits(arc.SpanDegrees));
}

} // namespace

TOvalButton::TOvalButton(QWidget *parent) : QWidget(parent) {
    EnsureDesktopColorTable();
    resize(100, 50);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    DeriveBevelColors(color_);
}

void TOvalButton::SetBevelWidth(int value) {
    value = std::clamp(value, 0, 10);
    if (value == bevelWidth_)
        return;
    bevelWidth_ = value;
    update();
}

void TOvalButton::SetCaption(const QString &value) {
    if (value == caption_)
        return;
    caption_ = value;
    update();
}

void TOvalButton::SetColor(TColor value) {
    if (value == color_)
        return;
    DeriveBevelColors(value);
    color_ = value;
    update();
}

void TOvalButton::SetDown(bool value) {
    if (value == down_)
        return;
    down_ = value;
    if (down_)
        bevelState_ = -1;
    else
        bevelState_ = flat_ ? 0 : 1;
    update();
}

void TOvalButton::SetFlat(bool value) {
    if (value == flat_)
        return;
    flat_ = value;
    bevelState_ = flat_ ? 0 : 1;
    update();
}

void TOvalButton::SetFont(const QFont &value) {
    if (value == font_)
        return;
    font_ = value;
    update();
}

void TOvalButton::SetFontColor(TColor value) {
    if (value == fontColor_)
        return;
    fontColor_ = value;
    update();
}

void TOvalButton::SetGlyph(const QImage &value) {
    glyph_ = value.convertToFormat(QImage::Format_RGB32);
    if (!glyph_.isNull()) {
        const QColor corner = glyph_.pixelColor(0, glyph_.height() - 1);
        transparentColor_ = TColor::FromRGB(corner.red(), corner.green(), corner.blue());
    }
    update();
}

void TOvalButton::SetLayout(TButtonLayout value) {
    if (value == layout_)
        return;
    layout_ = value;
    update();
}

void TOvalButton::SetMargin(int value) {
    if (value == margin_)
        return;
    margin_ = value;
    update();
}

void TOvalButton::SetNumGlyphs(int value) {
    value = std::clamp(value, 0, 4);
    if (value == numGlyphs_)
        return;
    numGlyphs_ = value;
    update();
}

void TOvalButton::SetSpacing(int value) {
    if (value == spacing_)
        return;
    spacing_ = value;
    update();
}

void TOvalButton::SetTransparent(bool value) {
    if (value == transparent_)
        return;
    transparent_ = value;
    update();
}

void TOvalButton::SetTransparentColor(TColor value) {
    if (value == transparentColor_)
        return;
    transparentColor_ = value;
    update();
}

void TOvalButton::DeriveBevelColors(TColor color) {
    // The factors come from integer steps, (10 - 5) / 10 and (10 - 4) / 10, in single precision.
    const auto [light, dark] = ShadeColors(color, (10 - 5) / 10.0f, (10 - 4) / 10.0f);
    highlightColor_ = light;
    shadowColor_ = dark;
}

bool TOvalButton::PtInOval(int x, int y) const {
    return controls::PtInOval(width(), height(), x, y);
}

void TOvalButton::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (isEnabled() && PtInOval(x, y)) {
        // A press inside proves the pointer is inside, even when no move was reported first
        // (a window shown under a resting pointer); without it the release would not click.
        mouseInside_ = true;
        downAtPress_ = down_;
        down_ = true;
        bevelState_ = -1;
        update();
        if (OnMouseDown)
            OnMouseDown(this, button, shift, x, y);
    }
    mouseHeld_ = true;
}

void TOvalButton::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
    const bool inside = PtInOval(x, y);
    if (mouseHeld_) {
        // A plain button follows the pointer in and out while held; a toggle keeps its look.
        if (inside && bevelState_ == 1 && groupIndex_ == 0) {
            mouseInside_ = true;
            down_ = true;
            bevelState_ = -1;
            update();
        } else if (!inside) {
            if (bevelState_ == -1 && groupIndex_ == 0 && mouseInside_) {
                down_ = false;
                bevelState_ = 1;
                update();
            }
            mouseInside_ = false;
        }
    } else if (flat_ && !down_) {
        if (inside) {
            mouseInside_ = true;
            bevelState_ = 1;
            update();
        } else if (mouseInside_) {
            mouseInside_ = false;
            bevelState_ = 0;
            update();
        }
    } else {
        mouseInside_ = inside;
    }
    if (mouseInside_ && OnMouseMove)
        OnMouseMove(this, shift, x, y);
}

void TOvalButton::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
    if (isEnabled() && PtInOval(x, y)) {
        if (groupIndex_ == 0) {
            down_ = false;
            bevelState_ = 1;
            update();
        } else {
            SetDown(!downAtPress_);
        }
        if (OnMouseUp)
            OnMouseUp(this, button, shift, x, y);
    }
    mouseHeld_ = false;
}

void TOvalButton::Click() {
    if (isEnabled() && mouseInside_ && OnClick)
        OnClick(this);
}

void TOvalButton::DblClick() {
    if (isEnabled() && mouseInside_ && OnDblClick)
        OnDblClick(this);
}

void TOvalButton::MouseEnter() {
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TOvalButton::MouseLeave() {
    if (mouseInside_ && isEnabled()) {
        mouseInside_ = false;
        if (flat_ && !down_) {
            bevelState_ = 0;
            update();
        }
    }
    if (OnMouseExit)
        OnMouseExit(this);
}

bool TOvalButton::DialogChar(const QString &typed) {
    if (!MatchesAccelerator(typed.toStdString(), caption_.toStdString()))
        return false;
    if (isEnabled())
        Click();
    return true;
}

TContentPlacement TOvalButton::ContentPlacement() const {
    TContentMeasures m;
    m.Width = width();
    m.Height = height();
    m.HasGlyph = numGlyphs_ > 0;
    if (m.HasGlyph) {
        const TRect cell =
            GlyphSourceCell(glyph_.width(), glyph_.height(), numGlyphs_, isEnabled(), Pressed());
        m.GlyphWidth = cell.Width();
        m.GlyphHeight = cell.Height();
    }
    const QFontMetrics metrics(font_);
    m.HasCaption = !caption_.isEmpty();
    m.TextWidth = metrics.horizontalAdvance(caption_);
    m.TextHeight = metrics.height();
    m.Layout = layout_;
    m.Spacing = spacing_;
    m.Margin = margin_;
    m.Pressed = Pressed();
    return PlaceContent(m);
}

void TOvalButton::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    Paint(painter);
}

void TOvalButton::Paint(QPainter &painter) {
    painter.setFont(font_);
    const QRectF outline = DrawingRect({0, 0, width() - 1, height() - 1});
    const QPen outlinePen = flat_ ? QPen(Qt::NoPen) : QPen(Qt::black, 1);
    painter.setBrush(transparent_ ? QBrush(Qt::NoBrush) : QBrush(ToQColor(color_)));
    painter.setPen(outlinePen);
    painter.drawEllipse(outline);
    DrawContent(painter);
    // The outer ring runs so close to the outline at the diagonals that some of its pixels land
    // on it; drawn once more, last, the outline stays a solid line at every angle.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(outlinePen);
    painter.drawEllipse(outline);
}

void TOvalButton::DrawBevel(QPainter &painter) {
    if (bevelState_ == 0 || bevelWidth_ == 0)
        return;
    const QColor upperLeft = ToQColor(Pressed() ? shadowColor_ : highlightColor_);
    const QColor lowerRight = ToQColor(Pressed() ? highlightColor_ : shadowColor_);
    const TBevelRadials radials = BevelRadials(width(), height());
    painter.save();
    painter.setBrush(Qt::NoBrush);
    for (int ring = 1; ring <= bevelWidth_; ++ring) {
        const TRect box = BevelRingBox(width(), height(), ring);
        painter.setPen(QPen(upperLeft, 1));
        DrawArc(painter, box, radials.UpperRight, radials.LowerLeft);
        painter.setPen(QPen(lowerRight, 1));
        DrawArc(painter, box, radials.LowerLeft, radials.UpperRight);
    }
    painter.restore();
}

void TOvalButton::DrawContent(QPainter &painter) {
    DrawBevel(painter);
    const TContentPlacement placement = ContentPlacement();
    if (numGlyphs_ > 0)
        DrawGlyph(painter, placement);
    if (!caption_.isEmpty())
        DrawCaption(painter, placement);
}

void TOvalButton::DrawGlyph(QPainter &painter, const TContentPlacement &placement) {
    const QColor face = ToQColor(color_);
    if (!transparent_) {
        for (const TRect &strip : placement.Strips)
            painter.fillRect(FillRect(strip), face);
    }
    if (glyph_.isNull())
        return;
    const TRect cell =
        GlyphSourceCell(glyph_.width(), glyph_.height(), numGlyphs_, isEnabled(), Pressed());
    QImage source = glyph_.copy(FillRect(cell)).convertToFormat(QImage::Format_ARGB32);
    // Pixels of the transparent colour show the brush: the face, or nothing when hollow.
    const QRgb key = ToQColor(transparentColor_).rgb() & RGB_MASK;
    const QRgb brush = transparent_ ? qRgba(0, 0, 0, 0) : face.rgb();
    for (int y = 0; y < source.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(source.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            if ((line[x] & RGB_MASK) == key)
                line[x] = brush;
        }
    }
    painter.drawImage(QPoint(placement.Glyph.Left, placement.Glyph.Top), source);
}

void TOvalButton::DrawCaption(QPainter &painter, const TContentPlacement &placement) {
    if (!transparent_)
        painter.fillRect(FillRect(placement.CaptionFill), ToQColor(color_));
    painter.setPen(ToQColor(isEnabled() ? fontColor_ : clGrayText));
    // The caption is drawn in full, however long; "&" underlines the character after it.
    painter.drawText(FillRect(placement.Caption),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic |
                         Qt::TextDontClip,
                     caption_);
}

void TOvalButton::mousePressEvent(QMouseEvent *event) {
    const QPoint at = event->position().toPoint();
    MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TOvalButton::mouseReleaseEvent(QMouseEvent *event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && rect().contains(at))
        Click();
    MouseUp(event->button(), event->modifiers(), at.x(), at.y());
}

void TOvalButton::mouseDoubleClickEvent(QMouseEvent *) {
    // The press of the second click has already arrived as a press of its own.
    DblClick();
}

void TOvalButton::mouseMoveEvent(QMouseEvent *event) {
    const QPoint at = event->position().toPoint();
    MouseMove(event->modifiers(), at.x(), at.y());
}

void TOvalButton::enterEvent(QEnterEvent *) {
    MouseEnter();
}

void TOvalButton::leaveEvent(QEvent *) {
    MouseLeave();
}

void TOvalButton::changeEvent(QEvent *event) {
    if (event->type() == QEvent::EnabledChange)
        update();
    QWidget::changeEvent(event);
}

} // namespace controls
