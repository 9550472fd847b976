#pragma once

#include "tests/support/QtTestMain.h"

#include <QListWidget>
#include <QStringList>
#include <QWidget>

#include <stdexcept>
#include <string>
#include <vector>

// The child of form with the given object name; a missing control ends the test.
template <class Widget> Widget *Find(const QWidget &form, const char *name) {
    auto *widget = form.findChild<Widget *>(QString::fromLatin1(name));
    if (!widget)
        throw std::logic_error(std::string("no control named ") + name);
    return widget;
}

inline QStringList Items(const QListWidget &list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i)
        items << list.item(i)->text();
    return items;
}
