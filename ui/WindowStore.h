#pragma once

#include <QSize>
#include <QString>

#include <optional>
#include <string>

// What the main window keeps in the per-user store between runs: the folder last used for each
// kind of file and the window's size. Kept under a key of its own, apart from the search
// settings. Nothing here reports a failure: a missing or unreadable value gives the default, a
// failed write is ignored.
namespace ui {

inline constexpr const char *kWindowKey = "\\Software\\Pellwick\\Brindlemark\\Window";

enum class FileKind { Results, NamesList, RankFile };

// The folder a file dialog for this kind of file starts in: the one last used, while it still
// exists, else the user's documents folder, else the home folder. Never the program's folder.
QString StartFolder(FileKind kind);
// Remembers the folder that holds file as the last one used for its kind.
void RememberFolder(FileKind kind, const std::string &file);
// The user's documents folder, or the home folder when there is none.
QString DocumentsFolder();

std::optional<QSize> StoredWindowSize();
void StoreWindowSize(QSize size);

} // namespace ui
