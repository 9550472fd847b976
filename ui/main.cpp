#include "core/SearchOptions.h"
#include "platform/SingleInstance.h"
#include "probes/WebProbes.h"
#include "ui/InfoUnit.h"
#include "ui/QtApplication.h"
#include "ui/SettingsUnit.h"
#include "ui/StartUnit.h"
#include "ui/Unit1.h"

// Starts the program: one copy per user, four windows created once, the message loop until the
// main window closes.
int main(int argc, char **argv) {
    ui::QtApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Nimbrel"));
    application.setDesktopFileName(QStringLiteral("nimbrel"));

    // Another copy runs: end at once, show nothing, leave the other copy where it is.
    platform::SingleInstance instance("Nimbrel");
    if (instance.FindOtherInstance())
        return 0;

    core::SearchOptions options;
    ui::TForm1 Form1(options, probes::WebProbes(), net::NetworkContext());
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
