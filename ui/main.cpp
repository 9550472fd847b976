#include "base/Exception.h"
#include "core/CheckSetup.h"
#include "core/OptionsStore.h"
#include "core/SearchOptions.h"
#include "platform/Application.h"
#include "platform/SingleInstance.h"
#include "probes/RegistryProbe.h"
#include "ui/InfoUnit.h"
#include "ui/QtApplication.h"
#include "ui/SettingsUnit.h"
#include "ui/StartUnit.h"
#include "ui/Unit1.h"

#include <exception>
#include <iostream>

namespace {

// A bootstrap file of the user's that cannot be used is said in a message and passed over, so
// that the window still starts.
core::CheckSetup ChosenSetup(const core::SearchOptions &options) {
    probes::RegistrySettings registry;
    if (const auto own = probes::UserBootstrapFile())
        registry.bootstrapFiles.push_back(*own);
    try {
        return core::ChooseCheckSetup(options, core::UserIndexFolder(), registry);
    } catch (const base::Exception &failure) {
        if (registry.bootstrapFiles.empty())
            throw;
        platform::ShowMessage(failure.Message() + ". The built-in RDAP table is used instead.");
        registry.bootstrapFiles.clear();
        return core::ChooseCheckSetup(options, core::UserIndexFolder(), registry);
    }
}

// Starts the program: one copy per user, four windows created once, the message loop until the
// main window closes.
int Run(int argc, char **argv) {
    ui::QtApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Nimbrel"));
    application.setDesktopFileName(QStringLiteral("nimbrel"));

    // Another copy runs: end at once, show nothing, leave the other copy where it is.
    platform::SingleInstance instance("Nimbrel");
    if (instance.FindOtherInstance())
        return 0;

    // The probes follow the stored settings, the indexes and the user's RDAP bootstrap file
    // there are at start-up, chosen as nimbrel-cli chooses them.
    core::SearchOptions options;
    core::LoadSettings(options);
    core::CheckSetup setup = ChosenSetup(options);
    for (const std::string &note : setup.notes)
        std::cerr << "nimbrel: " << note << '\n';
    ui::TForm1 Form1(options, std::move(setup.probes), std::move(setup.columns),
                     net::NetworkContext());
    ui::TStartForm StartForm(options, &Form1);
    ui::TInfoForm InfoForm(&Form1);
    ui::TSettingsForm SettingsForm(options, &Form1);
    Form1.AttachDialogs([&StartForm] { StartForm.ShowModal(); },
                        [&InfoForm] { InfoForm.ShowModal(); },
                        [&SettingsForm] { SettingsForm.ShowModal(); });

    Form1.show();
    application.exec();
    return 0;
}

} // namespace

// A failure that leaves start-up or shutdown ends here: a message and exit status 1, never an
// abort. (Failures of commands are shown by the application while it runs.)
int main(int argc, char **argv) {
    try {
        return Run(argc, argv);
    } catch (...) {
        std::cerr << "nimbrel: " << ui::ExceptionMessage(std::current_exception()) << '\n';
        return 1;
    }
}
