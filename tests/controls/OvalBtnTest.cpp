#include "controls/OvalBtn.h"

#include "controls/DesktopColors.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using namespace controls;

namespace {

const TColor Silver = TColor::FromRGB(192, 192, 192);
const QColor Highlight(223, 223, 223);
const QColor Shadow(115, 115, 115);

void SendMouse(QWidget *widget, QEvent::Type type, Qt::MouseButton button, QPoint at) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons();
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

enum class Step { Move, Press, Release, RightPress, RightRelease, Leave };

struct Action {
    Step step;
    QPoint at;
};

// Counts what a button raises.
struct Recorder {
    int clicks = 0, downs = 0, ups = 0, moves = 0;
    void Attach(TOvalButton &button) {
        button.OnClick = [this](TOvalButton *) { ++clicks; };
        button.OnMouseDown = [this](TOvalButton *, Qt::MouseButton, Qt::KeyboardModifiers, int,
                                    int) { ++downs; };
        button.OnMouseUp = [this](TOvalButton *, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
            ++ups;
        };
        button.OnMouseMove = [this](TOvalButton *, Qt::KeyboardModifiers, int, int) { ++moves; };
    }
};

void Perform(TOvalButton &button, const std::vector<Action> &actions) {
    for (const Action &a : actions) {
        switch (a.step) {
        case Step::Move:
            SendMouse(&button, QEvent::MouseMove, Qt::NoButton, a.at);
            break;
        case Step::Press:
            SendMouse(&button, QEvent::MouseButtonPress, Qt::LeftButton, a.at);
            break;
        case Step::Release:
            SendMouse(&button, QEvent::MouseButtonRelease, Qt::LeftButton, a.at);
            break;
        case Step::RightPress:
            SendMouse(&button, QEvent::MouseButtonPress, Qt::RightButton, a.at);
            break;
        case Step::RightRelease:
            SendMouse(&button, QEvent::MouseButtonRelease, Qt::RightButton, a.at);
            break;
        case Step::Leave: {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(&button, &leave);
            break;
        }
        }
    }
}

const QPoint Centre(50, 25);
const QPoint Corner(2, 2);
const QPoint FarCorner(97, 47);

// A button on a white parent, drawn into an image.
struct Rendered {
    QWidget parent;
    TOvalButton *button;
    Rendered() : button(new TOvalButton(&parent)) {
        parent.resize(100, 50);
        parent.setAutoFillBackground(true);
        QPalette white = parent.palette();
        white.setColor(QPalette::Window, Qt::white);
        parent.setPalette(white);
        button->SetColor(Silver);
    }
    QImage Image() { return parent.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// The colours met walking from a point in one direction, each run of equal pixels once.
std::vector<QColor> ColourRuns(const QImage &image, QPoint from, QPoint step, int count) {
    std::vector<QColor> runs;
    QPoint at = from;
    for (int i = 0; i < count; ++i, at += step) {
        const QColor c = image.pixelColor(at);
        if (runs.empty() || runs.back() != c)
            runs.push_back(c);
    }
    return runs;
}

} // namespace

TEST(OvalButton, NewButtonHasTheDocumentedValues) {
    TOvalButton button;
    EXPECT_EQ(button.size(), QSize(100, 50));
    EXPECT_EQ(button.BevelWidth(), 0);
    EXPECT_EQ(button.Spacing(), 4);
    EXPECT_EQ(button.Layout(), TButtonLayout::blGlyphBottom);
    EXPECT_EQ(button.Margin(), 0);
    EXPECT_EQ(button.NumGlyphs(), 0);
    EXPECT_EQ(button.GroupIndex(), 0);
    EXPECT_EQ(button.Color(), clBtnFace);
    EXPECT_EQ(button.TransparentColor(), clBlack);
    EXPECT_TRUE(button.Caption().isEmpty());
    EXPECT_FALSE(button.Down() || button.Flat() || button.Transparent());
    EXPECT_EQ(button.BevelState(), 1);
    EXPECT_FALSE(button.MouseInside() || button.MouseHeld());
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
}

TEST(OvalButton, DownAndFlatSetTheLook) {
    struct Case {
        bool flat, down;
        int state;
    };
    // Flat is set first, then Down; Down wins while it is true.
    const Case cases[] = {{false, false, 1}, {false, true, -1}, {true, false, 0}, {true, true, -1}};
    for (const auto &c : cases) {
        TOvalButton button;
        button.SetFlat(c.flat);
        button.SetDown(c.down);
        EXPECT_EQ(button.BevelState(), c.state) << c.flat << c.down;
    }
    TOvalButton button;
    button.SetDown(true);
    button.SetFlat(true);
    EXPECT_EQ(button.BevelState(), 0) << "Flat sets the look whatever Down is";
    button.SetFlat(false);
    EXPECT_EQ(button.BevelState(), 1);
}

TEST(OvalButton, FaceColourDerivesTheBevelColours) {
    struct Case {
        TColor face, highlight, shadow;
    };
    const auto rgb = TColor::FromRGB;
    const Case cases[] = {
        {rgb(192, 192, 192), rgb(223, 223, 223), rgb(115, 115, 115)},
        {rgb(212, 208, 200), rgb(233, 231, 227), rgb(139, 129, 108)},
        {rgb(92, 230, 76), rgb(173, 242, 165), rgb(37, 161, 23)},
    };
    TOvalButton button;
    for (const auto &c : cases) {
        button.SetColor(c.face);
        EXPECT_EQ(button.HighlightColor(), c.highlight);
        EXPECT_EQ(button.ShadowColor(), c.shadow);
    }
}

TEST(OvalButton, SystemFaceColourIsResolvedWhenTheColoursAreDerived) {
    const QPalette saved = QApplication::palette();
    QPalette grey = saved;
    grey.setColor(QPalette::Button, QColor(192, 192, 192));
    QApplication::setPalette(grey);
    TOvalButton button;
    EXPECT_EQ(button.HighlightColor(), TColor::FromRGB(223, 223, 223));

    QPalette other = saved;
    other.setColor(QPalette::Button, QColor(212, 208, 200));
    QApplication::setPalette(other);
    EXPECT_EQ(button.HighlightColor(), TColor::FromRGB(223, 223, 223));
    QApplication::setPalette(saved);
}

TEST(OvalButton, MouseSequences) {
    struct Case {
        const char *name;
        std::vector<Action> actions;
        int clicks, downs, ups;
        int state;
        bool down;
    };
    const Case cases[] = {
        {"press and release in a corner",
         {{Step::Move, Corner}, {Step::Press, Corner}, {Step::Release, Corner}},
         0,
         0,
         0,
         1,
         false},
        {"press and release inside",
         {{Step::Move, Centre}, {Step::Press, Centre}, {Step::Release, Centre}},
         1,
         1,
         1,
         1,
         false},
        {"press inside, drag out, release outside",
         {{Step::Move, Centre},
          {Step::Press, Centre},
          {Step::Move, Corner},
          {Step::Release, Corner}},
         0,
         1,
         0,
         1,
         false},
        {"press in a corner, drag in, release inside",
         {{Step::Move, Corner},
          {Step::Press, Corner},
          {Step::Move, Centre},
          {Step::Release, Centre}},
         1,
         0,
         1,
         1,
         false},
        {"drag out and back in, still held",
         {{Step::Move, Centre},
          {Step::Press, Centre},
          {Step::Move, FarCorner},
          {Step::Move, Centre}},
         0,
         1,
         0,
         -1,
         true},
        {"press under a pointer that never moved",
         {{Step::Press, Centre}, {Step::Release, Centre}},
         1,
         1,
         1,
         1,
         false},
        {"right button presses and releases but does not click",
         {{Step::Move, Centre}, {Step::RightPress, Centre}, {Step::RightRelease, Centre}},
         0,
         1,
         1,
         1,
         false},
        {"release outside the rectangle does not click",
         {{Step::Move, Centre}, {Step::Press, Centre}, {Step::Release, QPoint(150, 25)}},
         0,
         1,
         0,
         -1,
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TOvalButton button;
        Recorder recorder;
        recorder.Attach(button);
        Perform(button, c.actions);
        EXPECT_EQ(recorder.clicks, c.clicks);
        EXPECT_EQ(recorder.downs, c.downs);
        EXPECT_EQ(recorder.ups, c.ups);
        EXPECT_EQ(button.BevelState(), c.state);
        EXPECT_EQ(button.Down(), c.down);
        EXPECT_EQ(button.MouseHeld(), c.actions.back().step == Step::Move);
    }
}

TEST(OvalButton, ToggleFlipsOnlyWhenReleasedInside) {
    TOvalButton button;
    button.SetGroupIndex(1);
    Perform(button, {{Step::Move, Centre}, {Step::Press, Centre}, {Step::Move, Corner}});
    EXPECT_EQ(button.BevelState(), -1) << "a toggle keeps the pressed look while dragged";
    Perform(button, {{Step::Release, Corner}});
    EXPECT_TRUE(button.Down()) << "released outside, it stays down";

    Perform(button, {{Step::Move, Centre}, {Step::Press, Centre}, {Step::Release, Centre}});
    EXPECT_FALSE(button.Down()) << "it was down at the press, so it comes up";
    EXPECT_EQ(button.BevelState(), 1);
    Perform(button, {{Step::Press, Centre}, {Step::Release, Centre}});
    EXPECT_TRUE(button.Down());
    EXPECT_EQ(button.BevelState(), -1);
}

TEST(OvalButton, FlatButtonShowsRingsOnlyWhileThePointerIsInside) {
    TOvalButton button;
    button.SetFlat(true);
    EXPECT_EQ(button.BevelState(), 0);
    Perform(button, {{Step::Move, Centre}});
    EXPECT_EQ(button.BevelState(), 1);
    Perform(button, {{Step::Move, Corner}});
    EXPECT_EQ(button.BevelState(), 0);
    Perform(button, {{Step::Move, Centre}, {Step::Leave, {}}});
    EXPECT_EQ(button.BevelState(), 0);
    EXPECT_FALSE(button.MouseInside());
}

TEST(OvalButton, DisabledButtonRaisesNothing) {
    TOvalButton button;
    Recorder recorder;
    recorder.Attach(button);
    button.setEnabled(false);
    Perform(button, {{Step::Move, Centre}, {Step::Press, Centre}, {Step::Release, Centre}});
    button.Click();
    EXPECT_EQ(recorder.clicks + recorder.downs + recorder.ups + recorder.moves, 0);
    EXPECT_EQ(button.BevelState(), 1);
}

TEST(OvalButton, AcceleratorClicksOnlyWhileThePointerIsInside) {
    struct Case {
        const char *name;
        QPoint pointer;
        bool enabled;
        const char *typed;
        bool handled;
        int clicks;
    };
    const Case cases[] = {
        {"inside", Centre, true, "c", true, 1},
        {"inside, capital", Centre, true, "C", true, 1},
        {"outside", Corner, true, "c", true, 0},
        {"disabled", Centre, false, "c", true, 0},
        {"another letter", Centre, true, "l", false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TOvalButton button;
        button.SetCaption("&Close");
        Recorder recorder;
        recorder.Attach(button);
        Perform(button, {{Step::Move, c.pointer}});
        button.setEnabled(c.enabled);
        EXPECT_EQ(button.DialogChar(c.typed), c.handled);
        EXPECT_EQ(recorder.clicks, c.clicks);
    }
}

TEST(OvalButton, CaptionFontIsItsOwn) {
    QWidget parent;
    QFont large = parent.font();
    large.setPixelSize(40);
    auto *button = new TOvalButton(&parent);
    const QFont before = button->Font();
    parent.setFont(large);
    EXPECT_EQ(button->Font(), before);
    QFont bold = before;
    bold.setBold(true);
    button->SetFont(bold);
    EXPECT_TRUE(button->Font().bold());
}

TEST(OvalButton, GlyphTakesItsBottomLeftPixelAsTransparentColour) {
    QImage strip(48, 16, QImage::Format_RGB32);
    strip.fill(QColor(10, 20, 30));
    strip.setPixelColor(0, 15, QColor(255, 0, 255));
    TOvalButton button;
    button.SetGlyph(strip);
    EXPECT_EQ(button.TransparentColor(), TColor::FromRGB(255, 0, 255));
    EXPECT_EQ(button.NumGlyphs(), 0) << "the count is not derived at run time";
}

TEST(OvalButtonPixels, RingsShadeTheTwoHalves) {
    struct Case {
        const char *name;
        int bevelWidth;
        bool down;
        std::vector<QColor> top, bottom, left, right;
    };
    const QColor white(Qt::white), black(Qt::black), face(192, 192, 192);
    const Case cases[] = {
        {"raised",
         2,
         false,
         {black, Highlight, face},
         {white, black, Shadow, face},
         {black, Highlight, face},
         {white, black, Shadow, face}},
        {"pressed",
         2,
         true,
         {black, Shadow, face},
         {white, black, Highlight, face},
         {black, Shadow, face},
         {white, black, Highlight, face}},
        {"no rings",
         0,
         false,
         {black, face},
         {white, black, face},
         {black, face},
         {white, black, face}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Rendered r;
        r.button->SetBevelWidth(c.bevelWidth);
        r.button->SetDown(c.down);
        const QImage image = r.Image();
        // From each edge towards the centre, along the middle column and row. The outline
        // covers the pixels 0..98 and 0..48, so the right and bottom edges start white.
        EXPECT_EQ(ColourRuns(image, {49, 0}, {0, 1}, 10), c.top);
        EXPECT_EQ(ColourRuns(image, {49, 49}, {0, -1}, 10), c.bottom);
        EXPECT_EQ(ColourRuns(image, {0, 24}, {1, 0}, 10), c.left);
        EXPECT_EQ(ColourRuns(image, {99, 24}, {-1, 0}, 10), c.right);
    }
}

// Every pixel of the button that touches the white parent (or the edge of the picture) above,
// below, left or right is black: the outline closes all the way round the ellipse and no ring
// pixel takes its place, at any angle. (A gap in the outline would leave a ring or face pixel
// on that edge.)
TEST(OvalButtonPixels, OutlineIsSolidBlackAllRound) {
    struct Case {
        QSize size;
        int bevelWidth;
        bool down;
    };
    const Case cases[] = {
        {{64, 31}, 2, false},  {{64, 31}, 2, true},  {{100, 50}, 2, false},
        {{100, 50}, 4, false}, {{40, 40}, 3, false}, {{150, 36}, 2, true},
    };
    const QColor white(Qt::white);
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.size.width() << "x" << c.size.height() << " bevel "
                                        << c.bevelWidth << (c.down ? " down" : ""));
        Rendered r;
        r.parent.resize(c.size);
        r.button->resize(c.size);
        r.button->SetBevelWidth(c.bevelWidth);
        r.button->SetDown(c.down);
        const QImage image = r.Image();
        const auto outside = [&](int x, int y) {
            return !image.rect().contains(x, y) || image.pixelColor(x, y) == white;
        };
        int edge = 0;
        std::vector<QPoint> notBlack;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (outside(x, y))
                    continue;
                if (!outside(x - 1, y) && !outside(x + 1, y) && !outside(x, y - 1) &&
                    !outside(x, y + 1))
                    continue;
                ++edge;
                if (image.pixelColor(x, y) != QColor(Qt::black))
                    notBlack.push_back({x, y});
            }
        }
        EXPECT_TRUE(notBlack.empty()) << notBlack.size() << " edge pixels not black, first at "
                                      << (notBlack.empty() ? 0 : notBlack[0].x()) << ","
                                      << (notBlack.empty() ? 0 : notBlack[0].y());
        EXPECT_GT(edge, c.size.width() + c.size.height()) << "an outline all round";
    }
}

TEST(OvalButtonPixels, RingsAreTwoPixelsWideAndCornersStayOutside) {
    Rendered r;
    r.button->SetBevelWidth(2);
    const QImage image = r.Image();
    EXPECT_EQ(image.pixelColor(49, 1), Highlight);
    EXPECT_EQ(image.pixelColor(49, 2), Highlight);
    EXPECT_EQ(image.pixelColor(49, 3), QColor(192, 192, 192));
    EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(97, 47), QColor(Qt::white));
}

TEST(OvalButtonPixels, TransparentButtonLeavesTheFaceUnfilled) {
    Rendered r;
    r.button->SetTransparent(true);
    EXPECT_EQ(r.Image().pixelColor(49, 24), QColor(Qt::white));
}

TEST(OvalButtonPixels, DisabledButtonDrawsItsSecondGlyphAndGreyCaption) {
    QImage strip(48, 16, QImage::Format_RGB32);
    const QColor cells[3] = {QColor(200, 0, 0), QColor(0, 160, 0), QColor(0, 0, 200)};
    for (int i = 0; i < 3; ++i)
        QPainter(&strip).fillRect(QRect(16 * i, 0, 16, 16), cells[i]);
    struct Case {
        bool enabled, down;
        QColor glyph;
        QColor text;
    };
    EnsureDesktopColorTable();
    const QColor grey = ToQColor(clGrayText);
    const Case cases[] = {
        {true, false, cells[0], QColor(Qt::black)},
        {false, false, cells[1], grey},
        {true, true, cells[2], QColor(Qt::black)},
    };
    for (const auto &c : cases) {
        Rendered r;
        r.parent.resize(140, 80);
        r.button->resize(140, 80);
        r.button->SetGlyph(strip);
        r.button->SetTransparentColor(clWhite);
        r.button->SetNumGlyphs(3);
        r.button->SetFontColor(TColor::FromRGB(0, 0, 0));
        QFont font = r.button->Font();
        font.setPixelSize(16);
        font.setBold(true);
        r.button->SetFont(font);
        r.button->SetCaption("IIII");
        r.button->SetDown(c.down);
        r.button->setEnabled(c.enabled);
        const TContentPlacement at = r.button->ContentPlacement();
        const QImage image = r.Image();
        const TRect g = at.Glyph;
        EXPECT_EQ(image.pixelColor((g.Left + g.Right) / 2, (g.Top + g.Bottom) / 2), c.glyph);
        // The strokes of the caption carry the text colour itself somewhere.
        bool found = false;
        for (int y = at.Caption.Top; y < at.Caption.Bottom && !found; ++y)
            for (int x = at.Caption.Left; x < at.Caption.Right && !found; ++x)
                found = image.pixelColor(x, y) == c.text;
        EXPECT_TRUE(found) << "enabled " << c.enabled;
    }
}

TEST(OvalButton, PressedContentMovesByLayout) {
    struct Case {
        TButtonLayout layout;
        int numGlyphs;
        QPoint captionMove;
    };
    const Case cases[] = {
        {TButtonLayout::blGlyphLeft, 1, {2, 1}},
        {TButtonLayout::blGlyphTop, 1, {1, 2}},
        {TButtonLayout::blGlyphLeft, 0, {1, 1}},
    };
    for (const auto &c : cases) {
        TOvalButton button;
        button.SetGlyph(QImage(16, 16, QImage::Format_RGB32));
        button.SetNumGlyphs(c.numGlyphs);
        button.SetLayout(c.layout);
        button.SetCaption("Go");
        const TRect rest = button.ContentPlacement().Caption;
        button.SetDown(true);
        const TRect pressed = button.ContentPlacement().Caption;
        EXPECT_EQ(QPoint(pressed.Left - rest.Left, pressed.Top - rest.Top), c.captionMove);
    }
}
