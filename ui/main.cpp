#include "base/Exception.h"
#include "core/CheckSetup.h"
#include "core/OptionsStore.h"
#include "core/SearchOptions.h"
#include "core/WatchCheck.h"
#include "platform/Application.h"
#include "platform/SingleInstance.h"
#include "probes/RegistryProbe.h"
#include "registry/ParkingServices.h"
#include "registry/WhoisServers.h"
#include "ui/InfoUnit.h"
#include "ui/QtApplication.h"
#include "ui/SettingsUnit.h"
#include "ui/StartUnit.h"
#include "ui/Unit1.h"

#include <exception>
#include <iostream>

namespace {

// The user's own WHOIS servers file, kept only when it can be used, as the bootstrap file below.
void ChooseWhoisServers(probes::RegistrySettings &settings) {
    const auto own = registry::UserWhoisServersFile();
    if (!own)
        return;
    try {
        registry::WhoisServers::BuiltIn().MergeFile(*own);
        settings.whoisServersFiles.push_back(*own);
    } catch (const base::Exception &failure) {
        platform::ShowMessage(failure.Message() + ". The built-in WHOIS table is used instead.");
    }
}

// The user's own RDAP bootstrap file when it can be used. One that cannot is said in a message
// and passed over, so that the window still starts.
probes::RegistrySettings ChosenRegistry() {
    probes::RegistrySettings registry;
    registry.dataSources = registry::DefaultRegistryDataSources();
    registry.parkingFiles = registry::DefaultParkingFiles();
    ChooseWhoisServers(registry);
    const auto own = probes::UserBootstrapFile();
    if (!own)
        return registry;
    registry.bootstrapFiles.push_back(*own);
    try {
        const probes::RegistryContext tried(registry);
        return registry;
    } catch (const base::Exception &failure) {
        platform::ShowMessage(failure.Message() + ". The built-in RDAP table is used instead.");
    }
    registry.bootstrapFiles.pop_back();
    return registry;
}

// The probes as the stored settings, the indexes and the RDAP bootstrap file stand now, chosen
// as nimbrel-cli chooses them; an index passed over is said on standard error.
core::CheckSetup SetupNow(const core::SearchOptions &options,
                          const probes::RegistrySettings &registry) {
    core::CheckSetup setup = core::ChooseCheckSetup(options, core::UserIndexFolder(), registry);
    for (const std::string &note : setup.notes)
        std::cerr << "nimbrel: " << note << '\n';
    return setup;
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

    // Every search asks what the settings, the indexes and the user's RDAP bootstrap file say
    // when it starts, so that a change in Settings or an import counts at the next Start.
    core::SearchOptions options;
    core::LoadSettings(options);
    const probes::RegistrySettings registry = ChosenRegistry();
    // The application's network context and the platform's socket layer with it; the window
    // makes each run's own from it.
    const net::NetworkContext network;
    ui::TForm1 Form1(
        options, [&options, registry] { return SetupNow(options, registry); }, network);
    // The watch list's checks ask the same registries, with the watch check's own setup.
    Form1.SetWatchSetup([registry](const core::SearchOptions &chosen) {
        return core::ChooseWatchSetup(chosen, core::UserIndexFolder(), registry);
    });
    ui::TStartForm StartForm(options, &Form1);
    ui::TInfoForm InfoForm(&Form1);
    ui::TSettingsForm SettingsForm(options, &Form1);
    Form1.AttachDialogs([&StartForm] { return StartForm.AskKeywords(); },
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
