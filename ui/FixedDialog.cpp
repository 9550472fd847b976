#include "ui/FixedDialog.h"

#include "ui/RadioGroup.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <cmath>

namespace ui {
namespace {

constexpr int kLabelSpacing = 3;
// The text size the layout is designed for.
constexpr int kDesignedPointSize = 8;
// Captions are narrowed in these steps, but never below the narrowest.
constexpr int kStretchStep = 3;
constexpr int kNarrowestStretch = 76;
// Space between a button's picture and its caption, as the styles lay it out.
constexpr int kIconSpacing = 4;

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

QLabel *MakeLabel(QLineEdit *edit, const QString &caption) {
    auto *label = new QLabel(caption, edit->parentWidget());
    label->setObjectName(edit->objectName() + QStringLiteral("Label"));
    label->setBuddy(edit);
    label->resize(label->sizeHint());
    return label;
}

int TextWidth(const QWidget &widget, const QString &text) {
    return widget.fontMetrics().size(Qt::TextShowMnemonic, text).width();
}

bool PushButtonFits(const QPushButton &button) {
    const QStyle *style = button.style();
    const int frame = 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button) +
                      style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button);
    int label = TextWidth(button, button.text());
    if (!button.icon().isNull())
        label += button.iconSize().width() + kIconSpacing;
    return label + frame <= button.width();
}

bool GroupBoxFits(const QGroupBox &box) {
    QStyleOptionGroupBox option;
    option.initFrom(&box);
    option.text = box.title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect label =
        box.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
    return label.left() >= 0 && label.left() + TextWidth(box, box.title()) <= box.width();
}

// Children that take their font from the group box keep it when the box's own font narrows.
void PinChildFonts(QWidget &parent) {
    for (QWidget *child : parent.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->testAttribute(Qt::WA_SetFont))
            continue;
        // Setting the stretch, even to its present value, keeps it from following the parent.
        QFont font = child->font();
        font.setStretch(font.stretch() == QFont::AnyStretch ? int(QFont::Unstretched)
                                                            : font.stretch());
        child->setFont(font);
    }
}

void NarrowUntilFits(QWidget &control) {
    QFont font = control.font();
    for (int stretch = 100 - kStretchStep; !CaptionFits(control) && stretch >= kNarrowestStretch;
         stretch -= kStretchStep) {
        font.setStretch(stretch);
        control.setFont(font);
    }
}

} // namespace

bool CaptionFits(const QWidget &control) {
    if (auto *button = qobject_cast<const QPushButton *>(&control))
        return PushButtonFits(*button);
    if (qobject_cast<const QCheckBox *>(&control) || qobject_cast<const QRadioButton *>(&control))
        return control.sizeHint().width() <= control.width();
    if (auto *box = qobject_cast<const QGroupBox *>(&control))
        return GroupBoxFits(*box);
    if (auto *label = qobject_cast<const QLabel *>(&control))
        return TextWidth(*label, label->text()) <= label->width();
    return true;
}

QFont DialogFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void SetAccessibleText(QWidget &control, const QString &name, const QString &description) {
    control.setAccessibleName(name);
    control.setAccessibleDescription(description);
}

void SetAccessibleTexts(std::initializer_list<AccessibleText> texts) {
    for (const AccessibleText &text : texts)
        SetAccessibleText(*text.control, QString::fromLatin1(text.name),
                          QString::fromLatin1(text.description));
}

FixedDialog::FixedDialog(const QString &caption, int clientWidth, int clientHeight, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(caption);
    setFont(DialogFont());
    QFont designed = font();
    designed.setPointSize(kDesignedPointSize);
    scale_ = std::max(1.0, QFontMetricsF(font()).height() / QFontMetricsF(designed).height());
    setFixedSize(Scaled(clientWidth), Scaled(clientHeight));
    setSizeGripEnabled(false);
}

QRect FixedDialog::Scaled(QRect designed) const {
    return QRect(Scaled(designed.x()), Scaled(designed.y()), Scaled(designed.width()),
                 Scaled(designed.height()));
}

int FixedDialog::Scaled(int designed) const {
    return static_cast<int>(std::lround(designed * scale_));
}

void FixedDialog::ScaleLayout() {
    if (scale_ == 1)
        return;
    for (QWidget *control : findChildren<QWidget *>()) {
        QWidget *parent = control->parentWidget();
        // Radio groups arrange their own buttons; lists and edits their own parts.
        const bool placed = parent == this || (qobject_cast<QGroupBox *>(parent) &&
                                               !qobject_cast<RadioGroup *>(parent));
        if (placed)
            control->setGeometry(Scaled(control->geometry()));
    }
}

void FixedDialog::ShowModal() {
    exec();
}

void FixedDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    CentreOnScreen();
    FormShow();
}

void FixedDialog::closeEvent(QCloseEvent *event) {
    bool canClose = false;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FixedDialog::keyPressEvent(QKeyEvent *event) {
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        event->accept();
        EscapePressed();
        return;
    }
    if (IsEnter(event->key()) && modifiers == Qt::NoModifier) {
        if (auto *button = qobject_cast<QPushButton *>(focusWidget());
            button && button->isEnabled())
            button->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QPushButton *FixedDialog::MakeButton(QWidget *parent, const char *name, const QString &caption,
                                     QRect geometry, const QString &iconPath) {
    auto *button = Place(new QPushButton(caption, parent), name, geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    if (!iconPath.isEmpty()) {
        button->setIcon(QIcon(iconPath));
        button->setIconSize(QSize(16, 16));
    }
    return button;
}

QLabel *FixedDialog::LabelAbove(QLineEdit *edit, const QString &caption) {
    QLabel *label = MakeLabel(edit, caption);
    label->move(edit->x(), edit->y() - label->height() - kLabelSpacing);
    return label;
}

QLabel *FixedDialog::LabelLeft(QLineEdit *edit, const QString &caption) {
    QLabel *label = MakeLabel(edit, caption);
    label->move(edit->x() - label->width() - kLabelSpacing,
                edit->y() + (edit->height() - label->height()) / 2);
    return label;
}

void FixedDialog::FitCaptions() {
    for (QWidget *control : findChildren<QWidget *>()) {
        if (CaptionFits(*control))
            continue;
        if (qobject_cast<QGroupBox *>(control))
            PinChildFonts(*control);
        NarrowUntilFits(*control);
    }
}

void FixedDialog::CentreOnScreen() {
    const QScreen *target = screen();
    if (!target)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(target->availableGeometry().center());
    move(frame.topLeft());
}

} // namespace ui
