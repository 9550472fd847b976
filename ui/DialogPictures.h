#pragma once

#include <QString>

// The small pictures on the dialogs' buttons, compiled into the program.
namespace ui {

// Makes the pictures reachable; the library that holds them is linked statically, so nothing
// else would keep them in the program. Safe to call more than once.
void LoadDialogPictures();
// The resource path of a picture: "add", "remove", "clear", "cancel" or "search".
QString PicturePath(const char *name);

} // namespace ui
