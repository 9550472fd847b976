#pragma once

#include <QDialog>
#include <QRect>
#include <QString>

#include <initializer_list>

class QIcon;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

// A dialog of fixed size, centred on the screen each time it shows, with only a close box in its
// title bar. Its layout is designed for 8-point text; with the desktop's larger text every
// place and size grows by the same factor, so the layout holds. It has no default button: Enter
// presses only a push button that has the focus. Escape does what the dialog's way out does
// (EscapePressed), by default what the close box does.
class FixedDialog : public QDialog {
    Q_OBJECT

public:
    // Shows the dialog modally and returns once it has closed.
    void ShowModal();

    // How much larger than designed the layout is: the desktop's text height over that of
    // 8-point text, never below 1.
    double LayoutScale() const { return scale_; }
    // A designed place or size at the present scale.
    QRect Scaled(QRect designed) const;
    int Scaled(int designed) const;

    // Runs each time the dialog is shown.
    virtual void FormShow() {}
    // Asked on every close, whatever causes it; leaving canClose false keeps the dialog open.
    virtual void FormCloseQuery(bool &canClose) { canClose = true; }
    // Escape pressed with no modifier.
    virtual void EscapePressed() { close(); }

protected:
    FixedDialog(const QString &caption, int clientWidth, int clientHeight, QWidget *parent);

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

    // Gives a child its object name and its place in its parent.
    template <class Widget> static Widget *Place(Widget *widget, const char *name, QRect geometry) {
        widget->setObjectName(QString::fromLatin1(name));
        widget->setGeometry(geometry);
        return widget;
    }
    // A push button that never becomes a default button; iconPath may be empty.
    static QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption,
                                   QRect geometry, const QString &iconPath);
    // The caption of an edit, 3 pixels above it or to its left.
    static QLabel *LabelAbove(QLineEdit *edit, const QString &caption);
    static QLabel *LabelLeft(QLineEdit *edit, const QString &caption);
    // Narrows the font of every caption that is wider than its control, so that the fixed
    // layout holds with whatever font the desktop has. Call once the controls exist.
    void FitCaptions();
    // Moves and sizes the controls placed on the dialog and on its group boxes to the present
    // scale. Call once the controls exist, before FitCaptions.
    void ScaleLayout();

private:
    void CentreOnScreen();

    double scale_ = 1;
};

// The dialogs' font: the desktop's general font, which is sans-serif, at the desktop's size.
QFont DialogFont();

// What a screen reader says for a control: its name and what it does.
void SetAccessibleText(QWidget &control, const QString &name, const QString &description);
struct AccessibleText {
    QWidget *control;
    const char *name;
    const char *description;
};
void SetAccessibleTexts(std::initializer_list<AccessibleText> texts);

// Whether the caption of a push button, check box, radio button, group box or label shows in
// full at the control's present size. Other widgets have no caption and always fit.
bool CaptionFits(const QWidget &control);

} // namespace ui
