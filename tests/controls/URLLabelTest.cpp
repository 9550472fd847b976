#include "controls/URLLabel.h"

#include "controls/ScreenCursors.h"
#include "tests/support/ScriptedApplication.h"

#include <QApplication>
#include <QBitmap>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace controls;

namespace {

void SendMouse(QWidget *widget, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void SendPlain(QWidget *widget, QEvent::Type type) {
    if (type == QEvent::Enter) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(widget, &enter);
        return;
    }
    QEvent event(type);
    QApplication::sendEvent(widget, &event);
}

QColor TextColour(const QWidget &label) {
    return label.palette().color(QPalette::WindowText);
}

} // namespace

TEST(URLAddress, CompletesTheCaptionWithThePrefixUnlessItHoldsIt) {
    struct Case {
        const char *caption;
        TURLType type;
        const char *address;
    };
    const Case cases[] = {
        {"www.example.com", TURLType::utHTTP, "http://www.example.com"},
        {"HTTP://Www.Example.COM", TURLType::utHTTP, "HTTP://Www.Example.COM"},
        {"contact@example.com", TURLType::utMailTo, "mailto:contact@example.com"},
        {"MailTo:contact@example.com", TURLType::utMailTo, "MailTo:contact@example.com"},
        {"see http://example.com for more", TURLType::utHTTP, "see http://example.com for more"},
        {"", TURLType::utFTP, "ftp://"},
        {"files.example.com", TURLType::utFTP, "ftp://files.example.com"},
        // Only the chosen type's prefix counts.
        {"http://example.com", TURLType::utFTP, "ftp://http://example.com"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(URLAddress(c.caption, c.type), c.address) << c.caption;
}

TEST(URLLabel, ClickRunsTheHandlerThenOpensTheAddress) {
    ScriptedApplication app;
    TURLLabel label;
    label.SetURLType(TURLType::utMailTo);
    label.SetCaption("contact@example.com");
    std::vector<std::string> order;
    label.OnClick = [&](TURLLabel *) {
        order.push_back("handler, opened " + std::to_string(app.opened.size()));
    };

    SendMouse(&label, QEvent::MouseButtonPress, QPoint(2, 2));
    SendMouse(&label, QEvent::MouseButtonRelease, QPoint(2, 2));
    ASSERT_EQ(app.opened, std::vector<std::string>{"mailto:contact@example.com"});
    EXPECT_EQ(app.openedMaximized, std::vector<bool>{false});
    EXPECT_EQ(order, std::vector<std::string>{"handler, opened 0"});

    SendMouse(&label, QEvent::MouseButtonPress, QPoint(2, 2));
    SendMouse(&label, QEvent::MouseButtonRelease, QPoint(-5, 2));
    EXPECT_EQ(app.opened.size(), 1u) << "a release beside the label is no click";
}

TEST(URLLabel, BlueWhileThePointerIsOverItThenBlack) {
    TURLLabel label;
    const QColor initial = TextColour(label);
    EXPECT_NE(initial, QColor(0, 0, 255));
    SendPlain(&label, QEvent::Enter);
    EXPECT_EQ(TextColour(label), QColor(0, 0, 255));
    SendPlain(&label, QEvent::Leave);
    EXPECT_EQ(TextColour(label), QColor(0, 0, 0));
}

TEST(URLLabel, UnderlinedFontOfItsOwn) {
    QWidget parent;
    QFont large = parent.font();
    large.setPixelSize(40);
    large.setItalic(true);
    parent.setFont(large);
    auto *label = new TURLLabel(&parent);
    EXPECT_TRUE(label->font().underline());
    EXPECT_FALSE(label->font().italic());
    EXPECT_NE(label->font().pixelSize(), 40);
    EXPECT_EQ(label->size(), label->sizeHint()) << "sized to its caption";
    EXPECT_EQ(label->Caption(), "http://www.example.com");
    EXPECT_EQ(label->URLType(), TURLType::utHTTP);
}

TEST(URLLabel, InstallsTheHandCursorUnderItsNumber) {
    TURLLabel label;
    ASSERT_TRUE(HasScreenCursor(crURLHand));
    const QCursor hand = ScreenCursor(crURLHand);
    EXPECT_EQ(hand.shape(), Qt::BitmapCursor);
    EXPECT_EQ(hand.hotSpot(), QPoint(5, 0));
    const QImage mask = hand.mask().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage bitmap = hand.bitmap().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(mask.size(), QSize(32, 32));
    // The fingertip at the hot spot is drawn black; the far corner is not drawn at all.
    EXPECT_EQ(mask.pixelColor(5, 0), QColor(Qt::black)) << "opaque";
    EXPECT_EQ(bitmap.pixelColor(5, 0), QColor(Qt::black));
    EXPECT_EQ(mask.pixelColor(31, 31), QColor(Qt::white)) << "transparent";
    EXPECT_EQ(mask.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(label.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(label.cursor().hotSpot(), QPoint(5, 0));
}

TEST(ScreenCursors, UnknownNumbersShowTheArrowAndInstallingReplaces) {
    EXPECT_EQ(ScreenCursor(4711).shape(), Qt::ArrowCursor);
    SetScreenCursor(4711, QCursor(Qt::CrossCursor));
    SetScreenCursor(4711, QCursor(Qt::WaitCursor));
    EXPECT_EQ(ScreenCursor(4711).shape(), Qt::WaitCursor);
}
