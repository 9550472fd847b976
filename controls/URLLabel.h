#pragma once

#include <QLabel>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace controls {

enum class TURLType : std::uint8_t { utHTTP, utFTP, utMailTo };

// "http://", "ftp://" or "mailto:".
std::string_view URLPrefix(TURLType type);
// The caption as an address: unchanged when it already holds the prefix anywhere (letter case
// ignored), otherwise the prefix followed by the caption.
std::string URLAddress(std::string_view caption, TURLType type);

// The program's own number for the pointing-hand cursor in the screen's cursor table.
inline constexpr int crURLHand = 512;
// The hand cursor of the program's resources: 32 x 32, monochrome, hot spot on the fingertip.
// Nothing when the resource is missing.
std::optional<QCursor> LoadURLCursor();

// A label that behaves like a link: underlined, blue while the pointer is over it, with the
// hand cursor; a click opens its caption, completed to an address, through the desktop.
class TURLLabel : public QLabel {
    Q_OBJECT

public:
    explicit TURLLabel(QWidget *parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString &value);
    TURLType URLType() const { return urlType_; }
    void SetURLType(TURLType value) { urlType_ = value; }
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool value);
    bool Transparent() const { return !autoFillBackground(); }
    void SetTransparent(bool value) { setAutoFillBackground(!value); }
    int CursorNumber() const { return cursorNumber_; }

    // Runs after a left click, before the address is opened.
    std::function<void(TURLLabel *sender)> OnClick;

    // The click operation: the handler, then the address handed to the desktop.
    void Click();
    void MouseEnter();
    void MouseLeave();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void SetTextColor(const QColor &color);

    TURLType urlType_ = TURLType::utHTTP;
    bool autoSize_ = true;
    bool pressed_ = false;
    int cursorNumber_ = crURLHand;
};

} // namespace controls
