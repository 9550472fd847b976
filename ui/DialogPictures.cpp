#include "ui/DialogPictures.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares a function of the global namespace, so it must be used out here.
static void InitDialogResources() {
    Q_INIT_RESOURCE(dialogs);
}

namespace ui {

void LoadDialogPictures() {
    static const bool loaded = (InitDialogResources(), true);
    (void)loaded;
}

QString PicturePath(const char *name) {
    return QStringLiteral(":/dialogs/%1.png").arg(QString::fromLatin1(name));
}

} // namespace ui
