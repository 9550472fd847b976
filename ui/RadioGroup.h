#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QList>
#include <QStringList>

#include <QRadioButton>

namespace ui {

// A framed group of radio buttons laid out in columns, of which at most one is marked. Unlike a
// plain exclusive button group it can also show no mark at all (item index -1).
class RadioGroup : public QGroupBox {
    Q_OBJECT

public:
    // Placed at geometry at once, so that the buttons have their final size from the start.
    RadioGroup(const QString &caption, const QStringList &items, int columns, QRect geometry,
               QWidget *parent);

    // The marked item, -1 when none is.
    int ItemIndex() const;
    // Marks item index; any value outside the items clears every mark.
    void SetItemIndex(int index);
    int Count() const { return int(buttons_.size()); }
    QRadioButton *Button(int index) const { return buttons_.value(index); }

signals:
    // An item became marked, by the user or by SetItemIndex.
    void Changed();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void ArrangeButtons();

    QButtonGroup group_;
    QList<QRadioButton *> buttons_;
    int columns_;
};

} // namespace ui
