#include "ui/RadioGroup.h"

#include <QEvent>
#include <QFontMetrics>

namespace ui {

RadioGroup::RadioGroup(const QString &caption, const QStringList &items, int columns,
                       QRect geometry, QWidget *parent)
    : QGroupBox(caption, parent), columns_(columns < 1 ? 1 : columns) {
    setGeometry(geometry);
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        group_.addButton(button, i);
        buttons_.append(button);
    }
    connect(&group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            emit Changed();
    });
    ArrangeButtons();
}

int RadioGroup::ItemIndex() const {
    return group_.checkedId();
}

void RadioGroup::SetItemIndex(int index) {
    if (QRadioButton *button = Button(index)) {
        button->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last marked button, so lift that for a moment.
    group_.setExclusive(false);
    for (QRadioButton *button : buttons_)
        button->setChecked(false);
    group_.setExclusive(true);
}

void RadioGroup::resizeEvent(QResizeEvent *event) {
    QGroupBox::resizeEvent(event);
    ArrangeButtons();
}

void RadioGroup::changeEvent(QEvent *event) {
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        ArrangeButtons();
}

// The buttons share the room below the caption in equal cells, column by column.
void RadioGroup::ArrangeButtons() {
    if (buttons_.isEmpty())
        return;
    const int textHeight = QFontMetrics(font()).height();
    const int perColumn = int((buttons_.size() + columns_ - 1) / columns_);
    const int cellWidth = (width() - 10) / columns_;
    const int room = height() - textHeight - 5;
    const int cellHeight = room / perColumn;
    const int topMargin = textHeight + 1 + (room % perColumn) / 2;
    for (int i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setGeometry((i / perColumn) * cellWidth + 8,
                                 (i % perColumn) * cellHeight + topMargin, cellWidth, cellHeight);
    }
}

} // namespace ui
