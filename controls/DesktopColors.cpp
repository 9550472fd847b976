#include "controls/DesktopColors.h"

#include <QGuiApplication>
#include <QPalette>

namespace controls {

TColor DesktopSystemColor(SystemColor entry) {
    const QPalette palette = QGuiApplication::palette();
    QColor color;
    switch (entry) {
    case SystemColor::BtnFace:
        color = palette.color(QPalette::Active, QPalette::Button);
        break;
    case SystemColor::GrayText:
        color = palette.color(QPalette::Disabled, QPalette::WindowText);
        break;
    case SystemColor::WindowText:
        color = palette.color(QPalette::Active, QPalette::WindowText);
        break;
    case SystemColor::Window:
        color = palette.color(QPalette::Active, QPalette::Base);
        break;
    }
    return TColor::FromRGB(color.red(), color.green(), color.blue());
}

void EnsureDesktopColorTable() {
    const SystemColorTable current = SetSystemColorTable(nullptr);
    SetSystemColorTable(current ? current : &DesktopSystemColor);
}

QColor ToQColor(TColor color) {
    const TColor rgb = ColorToRGB(color);
    return QColor(rgb.Red(), rgb.Green(), rgb.Blue());
}

} // namespace controls
