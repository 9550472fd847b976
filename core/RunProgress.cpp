#include "core/RunProgress.h"

namespace core {

std::string StatusText(const RunProgress &progress) {
    if (progress.stopping)
        return "Stopping...";
    std::string text = "Checking... " + progress.name;
    if (progress.manyAtOnce)
        text +=
            " (" + std::to_string(progress.position) + "/" + std::to_string(progress.count) + ")";
    return text;
}

} // namespace core
