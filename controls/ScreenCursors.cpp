#include "controls/ScreenCursors.h"

#include <QCoreApplication>

#include <map>

namespace controls {
namespace {

std::map<int, QCursor> &Table() {
    static std::map<int, QCursor> table;
    return table;
}

// Cursors hold pixmaps, which must go before the application object does.
void ReleaseCursors() {
    Table().clear();
}

} // namespace

void SetScreenCursor(int id, const QCursor &cursor) {
    // The table is empty exactly while no release is pending for the running application.
    if (Table().empty())
        qAddPostRoutine(ReleaseCursors);
    Table()[id] = cursor;
}

bool HasScreenCursor(int id) {
    return Table().contains(id);
}

QCursor ScreenCursor(int id) {
    const auto found = Table().find(id);
    return found == Table().end() ? QCursor(Qt::ArrowCursor) : found->second;
}

} // namespace controls
