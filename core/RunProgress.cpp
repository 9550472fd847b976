#include "core/RunProgress.h"

#include "registry/IdnaName.h"

namespace core {

std::string StatusText(const RunProgress &progress) {
    if (progress.stopping)
        return "Stopping...";
    if (progress.searching)
        return kSearchingText;
    // The name as the list shows it.
    std::string text = "Checking... " + registry::ToUnicodeName(progress.name);
    if (progress.manyAtOnce)
        text +=
            " (" + std::to_string(progress.position) + "/" + std::to_string(progress.count) + ")";
    return text;
}

} // namespace core
