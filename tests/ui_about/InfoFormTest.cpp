#include "ui/InfoUnit.h"

#include "controls/OvalBtn.h"
#include "controls/URLLabel.h"
#include "tests/support/ScriptedApplication.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using controls::TOvalButton;
using controls::TURLLabel;
using ui::TInfoForm;

namespace {

void Send(QWidget *widget, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void ClickAt(QWidget *widget, QPoint at) {
    Send(widget, QEvent::MouseMove, at);
    Send(widget, QEvent::MouseButtonPress, at);
    Send(widget, QEvent::MouseButtonRelease, at);
}

void PressKey(QWidget *widget, int key, const QString &text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
}

} // namespace

TEST(InfoForm, HasItsCaptionSizeAndComponents) {
    TInfoForm form;
    EXPECT_EQ(form.windowTitle(), "About...");
    EXPECT_EQ(form.size(), QSize(329, 274));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed size";
    EXPECT_FALSE(form.windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowCloseButtonHint);

    auto *label = form.findChild<QLabel *>("Label7");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Nimbrel");
    EXPECT_TRUE(label->font().bold());
    auto *picture = form.findChild<QLabel *>("Image1");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->geometry(), QRect(7, 73, 150, 140));
    EXPECT_EQ(picture->pixmap().size(), QSize(150, 140)) << "the compiled-in picture decodes";
    auto *close = form.findChild<TOvalButton *>("BitBtn3");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->geometry(), QRect(132, 241, 64, 31));
    EXPECT_EQ(close->Caption(), "Close");
    EXPECT_EQ(close->BevelWidth(), 2);
    EXPECT_EQ(close->cursor().shape(), Qt::PointingHandCursor);
    auto *panel = form.findChild<QFrame *>("Panel1");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
}

TEST(InfoForm, CloseButtonClosesOnlyInsideItsEllipse) {
    TInfoForm form;
    form.open();
    auto *close = form.findChild<TOvalButton *>("BitBtn3");
    ASSERT_NE(close, nullptr);

    for (const QPoint corner : {QPoint(1, 1), QPoint(62, 1), QPoint(1, 29), QPoint(62, 29)}) {
        ClickAt(close, corner);
        EXPECT_TRUE(form.isVisible()) << corner.x() << "," << corner.y();
    }
    ClickAt(close, QPoint(32, 15));
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), 3);
}

TEST(InfoForm, ShowModalReturnsTheCloseButtonsResult) {
    TInfoForm form;
    QTimer::singleShot(0, &form,
                       [&] { ClickAt(form.findChild<TOvalButton *>("BitBtn3"), QPoint(32, 15)); });
    // Should the click not close the box, this ends the modal loop with another result.
    QTimer::singleShot(5000, &form, [&] { form.done(-1); });
    EXPECT_EQ(form.ShowModal(), 3);
}

TEST(InfoForm, MailLinkOpensANewMailToTheContactAddress) {
    ScriptedApplication app;
    TInfoForm form;
    auto *link = form.findChild<TURLLabel *>("URLLabel2");
    if (*ui::ContactAddress == '\0') {
        // No address configured: no link, and no made-up address anywhere in the box.
        EXPECT_EQ(link, nullptr);
        for (const QLabel *label : form.findChildren<QLabel *>())
            EXPECT_FALSE(label->text().contains('@')) << label->text().toStdString();
        return;
    }
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->Caption(), ui::ContactAddress);
    EXPECT_EQ(link->pos(), QPoint(198, 109));
    EXPECT_EQ(link->cursor().hotSpot(), QPoint(5, 0));
    ClickAt(link, QPoint(2, 2));
    EXPECT_EQ(app.opened, std::vector<std::string>{std::string("mailto:") + ui::ContactAddress});
}

TEST(InfoForm, NoControlTakesTheKeyboardFocusAndEscapeCloses) {
    TInfoForm form;
    form.open();
    for (QWidget *child : form.findChildren<QWidget *>())
        EXPECT_EQ(child->focusPolicy(), Qt::NoFocus) << child->objectName().toStdString();
    PressKey(&form, Qt::Key_Tab, "\t");
    PressKey(&form, Qt::Key_C, "c");
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(QApplication::focusWidget() == nullptr || QApplication::focusWidget() == &form);
    PressKey(&form, Qt::Key_Escape, "\x1b");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), 3) << "as the Close button";
}
