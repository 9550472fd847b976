#include "platform/Application.h"

namespace platform {
namespace {

Application *installed = nullptr;

} // namespace

Application *CurrentApplication() {
    return installed;
}

Application *SetApplication(Application *app) {
    Application *previous = installed;
    installed = app;
    return previous;
}

void ProcessMessages() {
    if (installed)
        installed->ProcessMessages();
}

void KeepResponsive() {
    if (installed)
        installed->KeepResponsive();
}

bool IsEscapeDown() {
    return installed && installed->IsEscapeDown();
}

void ShellOpen(const std::string &address, ShowWindow show) {
    if (installed)
        installed->ShellOpen(address, show);
}

void ShowMessage(const std::string &text) {
    if (installed)
        installed->ShowMessage(text);
}

} // namespace platform
