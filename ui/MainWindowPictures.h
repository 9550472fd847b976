#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

// The main window's pictures, compiled into the program.
namespace ui {

// Makes the pictures reachable; the library that holds them is linked statically, so nothing
// else would keep them in the program. Safe to call more than once.
void LoadMainWindowPictures();

// The banner, 490 x 55, decoded from the JPEG bytes in the program; a null image when the bytes
// cannot be decoded.
QImage BannerImage();
QIcon StartPicture();
QIcon StopPicture();
// The normal tools picture, with its greyed cell as the disabled look.
QIcon SettingsPicture();
// The seven menu images in index order: page of text, door, floppy disk, open folder, question
// mark, globe, light bulb.
QList<QIcon> MenuImages();
// The program icon in its 16 and 32 pixel sizes.
QIcon ProgramIcon();

} // namespace ui
