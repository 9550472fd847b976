#pragma once

#include "controls/OvalGeometry.h"
#include "controls/rrColors.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>

class QPainter;

namespace controls {

// An elliptic push button with shaded bevel rings, an optional glyph from a strip of images
// and a one-line caption. Only the inside of the ellipse reacts to the mouse. It never takes
// the keyboard focus.
class TOvalButton : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TOvalButton *sender)>;
    using TMouseEvent = std::function<void(TOvalButton *sender, Qt::MouseButton button,
                                           Qt::KeyboardModifiers shift, int x, int y)>;
    using TMouseMoveEvent =
        std::function<void(TOvalButton *sender, Qt::KeyboardModifiers shift, int x, int y)>;

    explicit TOvalButton(QWidget *parent = nullptr);

    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int value);
    const QString &Caption() const { return caption_; }
    void SetCaption(const QString &value);
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    bool Down() const { return down_; }
    void SetDown(bool value);
    bool Flat() const { return flat_; }
    void SetFlat(bool value);
    // The caption font; the button keeps its own copy, apart from the widget's inherited font.
    const QFont &Font() const { return font_; }
    void SetFont(const QFont &value);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor value);
    const QImage &Glyph() const { return glyph_; }
    // Copies the strip and takes its bottom-left pixel as the transparent colour.
    void SetGlyph(const QImage &value);
    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int value) { groupIndex_ = value; }
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout value);
    int Margin() const { return margin_; }
    void SetMargin(int value);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int value);
    int Spacing() const { return spacing_; }
    void SetSpacing(int value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    TColor TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(TColor value);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;

    TColor HighlightColor() const { return highlightColor_; }
    TColor ShadowColor() const { return shadowColor_; }
    // -1 pressed look, 0 no rings, 1 raised look.
    int BevelState() const { return bevelState_; }
    bool MouseInside() const { return mouseInside_; }
    bool MouseHeld() const { return mouseHeld_; }
    bool DownAtPress() const { return downAtPress_; }

    // The hit test in control coordinates.
    bool PtInOval(int x, int y) const;

    // The operations the window system's events arrive at; public so that a form can forward
    // to them and tests can drive them step by step.
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void Click();
    void DblClick();
    void MouseEnter();
    void MouseLeave();
    // Offers a typed character (UTF-8) as an accelerator; true when it is marked as handled.
    bool DialogChar(const QString &typed);

    // Where the content goes with the current properties, font and state.
    TContentPlacement ContentPlacement() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void DeriveBevelColors(TColor color);
    void Paint(QPainter &painter);
    void DrawBevel(QPainter &painter);
    void DrawContent(QPainter &painter);
    void DrawGlyph(QPainter &painter, const TContentPlacement &placement);
    void DrawCaption(QPainter &painter, const TContentPlacement &placement);
    bool Pressed() const { return bevelState_ == -1; }

    int bevelWidth_ = 0;
    QString caption_;
    TColor color_ = clBtnFace;
    bool down_ = false;
    bool flat_ = false;
    QFont font_;
    TColor fontColor_ = clWindowText;
    QImage glyph_;
    int groupIndex_ = 0;
    TButtonLayout layout_ = TButtonLayout::blGlyphBottom;
    int margin_ = 0;
    int numGlyphs_ = 0;
    int spacing_ = 4;
    bool transparent_ = false;
    TColor transparentColor_ = clBlack;

    TColor highlightColor_;
    TColor shadowColor_;
    int bevelState_ = 1;
    bool mouseInside_ = false;
    bool mouseHeld_ = false;
    bool downAtPress_ = false;
};

} // namespace controls
