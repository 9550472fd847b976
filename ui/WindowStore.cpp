#include "ui/WindowStore.h"

#include "platform/Registry.h"
#include "ui/QtText.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstring>
#include <memory>

namespace ui {
namespace {

using platform::RegistryKey;
using platform::RegType;
using platform::RegValue;

const char *FolderValue(FileKind kind) {
    switch (kind) {
    case FileKind::Results:
        return "ResultsFolder";
    case FileKind::NamesList:
        return "NamesListFolder";
    case FileKind::RankFile:
        break;
    }
    return "RankFileFolder";
}

std::optional<RegValue> Query(const char *name) {
    try {
        return RegistryKey::Open(kWindowKey)->QueryValue(name);
    } catch (const platform::ERegistryError &) {
        return std::nullopt;
    }
}

void Store(const char *name, const RegValue &value) {
    try {
        RegistryKey::Create(kWindowKey)->SetValue(name, value);
    } catch (const platform::ERegistryError &) {
        // Only a convenience is lost.
    }
}

std::optional<QString> QueryText(const char *name) {
    const std::optional<RegValue> value = Query(name);
    if (!value || value->type != RegType::Sz)
        return std::nullopt;
    return ToQString(value->data.substr(0, value->data.find('\0')));
}

std::optional<int> QueryInteger(const char *name) {
    const std::optional<RegValue> value = Query(name);
    if (!value || value->type != RegType::Dword || value->data.size() != 4)
        return std::nullopt;
    std::uint32_t bits = 0;
    std::memcpy(&bits, value->data.data(), 4);
    return static_cast<int>(bits);
}

bool IsFolder(const QString &path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

} // namespace

QString DocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return IsFolder(documents) ? documents : QDir::homePath();
}

QString StartFolder(FileKind kind) {
    if (const std::optional<QString> last = QueryText(FolderValue(kind)); last && IsFolder(*last))
        return *last;
    return DocumentsFolder();
}

void RememberFolder(FileKind kind, const std::string &file) {
    const QString folder = QFileInfo(ToQString(file)).absolutePath();
    Store(FolderValue(kind), RegValue::Text(ToStdString(folder)));
}

std::optional<QSize> StoredWindowSize() {
    const std::optional<int> width = QueryInteger("Width");
    const std::optional<int> height = QueryInteger("Height");
    if (!width || !height || *width <= 0 || *height <= 0)
        return std::nullopt;
    return QSize(*width, *height);
}

void StoreWindowSize(QSize size) {
    Store("Width", RegValue::Dword(static_cast<std::uint32_t>(size.width())));
    Store("Height", RegValue::Dword(static_cast<std::uint32_t>(size.height())));
}

} // namespace ui
