#include "ui/QtText.h"

#include "base/TextEncoding.h"

namespace ui {

QString ToQString(std::string_view bytes) {
    return QString::fromStdString(base::DisplayUtf8(bytes));
}

std::string ToStdString(const QString &text) {
    return text.toStdString();
}

} // namespace ui
