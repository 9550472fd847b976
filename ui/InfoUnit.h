#pragma once

#include <QDialog>

class QFrame;
class QLabel;

namespace controls {
class TOvalButton;
class TURLLabel;
} // namespace controls

namespace ui {

// The product's contact address that the about box shows and opens as a new mail. None is
// configured: empty, the box shows no mail link rather than a made-up address.
inline constexpr const char *ContactAddress = "";

// The about box: the product's name and picture, a mail link to the maker when an address is
// configured, and an oval Close button, which Escape presses too. Created once and shown modally
// any number of times; it changes nothing.
class TInfoForm : public QDialog {
    Q_OBJECT

public:
    explicit TInfoForm(QWidget *parent = nullptr);

    // Shows the box modally, centred on the screen, and returns once it is closed.
    int ShowModal();

    // The Close button's click: ends the modal display with the result 3.
    void BitBtn3Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void CreatePanel();
    void CreateCloseButton();

    QFrame *Panel1 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Image1 = nullptr;
    controls::TURLLabel *URLLabel2 = nullptr;
    controls::TOvalButton *BitBtn3 = nullptr;
};

} // namespace ui
