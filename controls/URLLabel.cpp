#include "controls/URLLabel.h"

#include "base/AsciiCase.h"
#include "controls/DesktopColors.h"
#include "controls/ScreenCursors.h"
#include "platform/Application.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>

#include <vector>

// Resources compiled into a static library are registered only when asked for by name.
static void RegisterControlResources() {
    Q_INIT_RESOURCE(controls);
}

namespace controls {
namespace {

constexpr const char *DefaultAddress = "http://www.example.com";
constexpr const char *CursorResource = ":/cursors/URLCURSOR_1.xpm";
constexpr QPoint CursorHotSpot(5, 0); // the fingertip

// One bit per pixel, least significant bit first, rows padded to whole bytes.
QBitmap BitmapOf(const QImage &picture, auto &&isSet) {
    const int stride = (picture.width() + 7) / 8;
    std::vector<uchar> bits(std::size_t(stride) * picture.height(), 0);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (isSet(picture.pixel(x, y)))
                bits[std::size_t(y) * stride + x / 8] |= uchar(1u << (x % 8));
        }
    }
    return QBitmap::fromData(picture.size(), bits.data(), QImage::Format_MonoLSB);
}

} // namespace

std::string_view URLPrefix(TURLType type) {
    switch (type) {
    case TURLType::utFTP:
        return "ftp://";
    case TURLType::utMailTo:
        return "mailto:";
    case TURLType::utHTTP:
        break;
    }
    return "http://";
}

std::string URLAddress(std::string_view caption, TURLType type) {
    const std::string_view prefix = URLPrefix(type);
    if (base::AsciiLower(caption).find(prefix) != std::string::npos)
        return std::string(caption);
    return std::string(prefix) + std::string(caption);
}

std::optional<QCursor> LoadURLCursor() {
    RegisterControlResources();
    const QImage picture = QImage(CursorResource).convertToFormat(QImage::Format_ARGB32);
    if (picture.isNull())
        return std::nullopt;
    // Black where the hand is drawn black, opaque wherever it is drawn at all.
    const QBitmap black =
        BitmapOf(picture, [](QRgb pixel) { return qAlpha(pixel) != 0 && qGray(pixel) < 128; });
    const QBitmap opaque = BitmapOf(picture, [](QRgb pixel) { return qAlpha(pixel) != 0; });
    return QCursor(black, opaque, CursorHotSpot.x(), CursorHotSpot.y());
}

TURLLabel::TURLLabel(QWidget *parent) : QLabel(parent) {
    EnsureDesktopColorTable();
    setTextFormat(Qt::PlainText);
    setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    SetCaption(DefaultAddress);

    // The label's own font, every property fixed, so the parent's font does not reach it.
    QFont own = QGuiApplication::font();
    own.setUnderline(true);
    own.setResolveMask(QFont::AllPropertiesResolved);
    setFont(own);
    if (autoSize_)
        adjustSize();

    // Every label installs the cursor again, replacing the one installed before.
    if (const std::optional<QCursor> hand = LoadURLCursor())
        SetScreenCursor(crURLHand, *hand);
    setCursor(ScreenCursor(cursorNumber_));
}

void TURLLabel::SetCaption(const QString &value) {
    setText(value);
    if (autoSize_)
        adjustSize();
}

void TURLLabel::SetAutoSize(bool value) {
    autoSize_ = value;
    if (autoSize_)
        adjustSize();
}

void TURLLabel::Click() {
    if (OnClick)
        OnClick(this);
    platform::ShellOpen(URLAddress(text().toStdString(), urlType_), platform::ShowWindow::Normal);
}

void TURLLabel::MouseEnter() {
    SetTextColor(QColor(0, 0, 255));
}

void TURLLabel::MouseLeave() {
    SetTextColor(QColor(0, 0, 0));
}

void TURLLabel::SetTextColor(const QColor &color) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, color);
    setPalette(colours);
}

void TURLLabel::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        pressed_ = true;
    QLabel::mousePressEvent(event);
}

void TURLLabel::mouseReleaseEvent(QMouseEvent *event) {
    const bool clicked = pressed_ && event->button() == Qt::LeftButton &&
                         rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (clicked)
        Click();
}

void TURLLabel::enterEvent(QEnterEvent *event) {
    QLabel::enterEvent(event);
    MouseEnter();
}

void TURLLabel::leaveEvent(QEvent *event) {
    QLabel::leaveEvent(event);
    MouseLeave();
}

} // namespace controls
