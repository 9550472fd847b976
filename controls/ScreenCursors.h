#pragma once

#include <QCursor>

// The program's table of cursors by number. Numbers outside the table show the arrow.
namespace controls {

// Installs cursor under id, replacing (and releasing) one installed there before.
void SetScreenCursor(int id, const QCursor &cursor);
bool HasScreenCursor(int id);
QCursor ScreenCursor(int id);

} // namespace controls
