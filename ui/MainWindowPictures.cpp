#include "ui/MainWindowPictures.h"

#include "ui/JpegImage.h"

#include <QFile>
#include <QPixmap>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitMainWindowResources() {
    Q_INIT_RESOURCE(mainwindow);
}

namespace ui {
namespace {

QString PicturePath(const char *name) {
    return QStringLiteral(":/mainwindow/") + QString::fromLatin1(name);
}

QIcon Picture(const char *name) {
    LoadMainWindowPictures();
    return QIcon(PicturePath(name));
}

} // namespace

void LoadMainWindowPictures() {
    static const bool loaded = (InitMainWindowResources(), true);
    (void)loaded;
}

QImage BannerImage() {
    LoadMainWindowPictures();
    QFile file(PicturePath("banner.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    try {
        return DecodeJpeg(reinterpret_cast<const unsigned char *>(bytes.constData()),
                          static_cast<std::size_t>(bytes.size()));
    } catch (const EJpegError &) {
        // The window is still usable without its banner.
        return {};
    }
}

QIcon StartPicture() {
    return Picture("start.png");
}

QIcon StopPicture() {
    return Picture("stop.png");
}

QIcon SettingsPicture() {
    LoadMainWindowPictures();
    const QPixmap cells(PicturePath("settings.png"));
    const int cell = cells.height();
    QIcon icon;
    icon.addPixmap(cells.copy(0, 0, cell, cell), QIcon::Normal);
    icon.addPixmap(cells.copy(cell, 0, cell, cell), QIcon::Disabled);
    return icon;
}

QList<QIcon> MenuImages() {
    static const char *const names[] = {
        "menu0-page.png",     "menu1-door.png",  "menu2-floppy.png", "menu3-folder.png",
        "menu4-question.png", "menu5-globe.png", "menu6-bulb.png",
    };
    QList<QIcon> images;
    for (const char *name : names)
        images.append(Picture(name));
    return images;
}

QIcon ProgramIcon() {
    LoadMainWindowPictures();
    QIcon icon;
    icon.addFile(PicturePath("icon16.png"), QSize(16, 16));
    icon.addFile(PicturePath("icon32.png"), QSize(32, 32));
    return icon;
}

} // namespace ui
