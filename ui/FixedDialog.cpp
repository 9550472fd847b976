#include "ui/FixedDialog.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace ui {
namespace {

constexpr int kLabelSpacing = 3;

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

QLabel* MakeLabel(QLineEdit* edit, const QString& caption) {
    auto* label = new QLabel(caption, edit->parentWidget());
    label->setObjectName(edit->objectName() + QStringLiteral("Label"));
    label->setBuddy(edit);
    label->resize(label->sizeHint());
    return label;
}

} // namespace

QFont DialogFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

FixedDialog::FixedDialog(const QString& caption, int clientWidth, int clientHeight,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(caption);
    setFont(DialogFont());
    setFixedSize(clientWidth, clientHeight);
    setSizeGripEnabled(false);
}

void FixedDialog::ShowModal() { exec(); }

void FixedDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOnScreen();
    FormShow();
}

void FixedDialog::closeEvent(QCloseEvent* event) {
    bool canClose = false;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FixedDialog::keyPressEvent(QKeyEvent* event) {
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        event->accept();
        return;
    }
    if (IsEnter(event->key()) && modifiers == Qt::NoModifier) {
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled())
            button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QPushButton* FixedDialog::MakeButton(QWidget* parent, const char* name, const QString& caption,
                                     QRect geometry, const QString& iconPath) {
    auto* button = Place(new QPushButton(caption, parent), name, geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    if (!iconPath.isEmpty()) {
        button->setIcon(QIcon(iconPath));
        button->setIconSize(QSize(16, 16));
    }
    return button;
}

QLabel* FixedDialog::LabelAbove(QLineEdit* edit, const QString& caption) {
    QLabel* label = MakeLabel(edit, caption);
    label->move(edit->x(), edit->y() - label->height() - kLabelSpacing);
    return label;
}

QLabel* FixedDialog::LabelLeft(QLineEdit* edit, const QString& caption) {
    QLabel* label = MakeLabel(edit, caption);
    label->move(edit->x() - label->width() - kLabelSpacing,
                edit->y() + (edit->height() - label->height()) / 2);
    return label;
}

void FixedDialog::CentreOnScreen() {
    const QScreen* target = screen();
    if (!target)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}

} // namespace ui
