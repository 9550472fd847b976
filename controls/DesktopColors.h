#pragma once

#include "controls/rrColors.h"

#include <QColor>

namespace controls {

// The desktop palette's value of a system colour.
TColor DesktopSystemColor(SystemColor entry);

// Makes system colours resolve through the desktop palette, unless a table is installed already
// (tests install their own).
void EnsureDesktopColorTable();

// The colour as the painter needs it, system colours resolved now.
QColor ToQColor(TColor color);

} // namespace controls
