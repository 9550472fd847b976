#include "core/SearchOptions.h"
#include "net/Probes.h"
#include "ui/QtApplication.h"
#include "ui/StartUnit.h"
#include "ui/Unit1.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <map>
#include <string>

namespace {

// Answers as the web would for a handful of names, so that the picture shows every kind of row.
class PictureProbes : public net::Probes {
public:
    std::string CheckAvailability(const std::string &url, int) override {
        static const char *const taken[] = {"greentea.com", "greentea.net", "teagreen.com"};
        const std::string name = url.substr(std::string("http://www.").size());
        for (const char *site : taken)
            if (name == site)
                return "No";
        return "Yes";
    }
    std::string GetLinkPopularity(const std::string &name) override {
        return std::to_string(Spread(name) % 900 + 4);
    }
    std::string GetTrafficRank(const std::string &name) override {
        const unsigned value = Spread(name + "rank");
        return value % 4 == 0 ? "" : std::to_string(value % 2900000 + 81234);
    }

private:
    static unsigned Spread(const std::string &text) {
        unsigned value = 2166136261u;
        for (unsigned char c : text)
            value = (value ^ c) * 16777619u;
        return value;
    }
};

bool Save(QWidget &window, const char *file) {
    if (window.grab().save(QString::fromLocal8Bit(file)))
        return true;
    std::fprintf(stderr, "cannot write %s\n", file);
    return false;
}

} // namespace

// Renders the main window before and after a search into two PNG files.
int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s BEFORE.png AFTER.png\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::QtApplication app(argc, argv);
    // The keywords dialog loads and stores its search mode; keep that away from the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    core::SearchOptions options;
    options.COM = options.NET = options.ORG = true;
    options.SetSearchFor(core::kAllVariants);
    options.SetShow(core::kShowAll);
    PictureProbes probes;
    ui::TForm1 form(options, probes);
    ui::TStartForm startForm(options, &form);
    form.AttachDialogs(
        [&] {
            QTimer::singleShot(0, &startForm, [&] {
                auto *edit = startForm.findChild<QLineEdit *>("leKeyword");
                for (const char *keyword : {"green", "tea"}) {
                    edit->setText(QString::fromLatin1(keyword));
                    startForm.findChild<QAbstractButton *>("AddBtn")->click();
                }
                startForm.findChild<QAbstractButton *>("BitBtn1")->click();
            });
            startForm.ShowModal();
        },
        [] {}, [] {});
    options.SetSearchFor(core::kAllVariants);
    form.show();
    if (!Save(form, argv[1]))
        return 1;
    form.BitBtn2Click();
    form.ListView1ColumnClick(2);
    return Save(form, argv[2]) ? 0 : 1;
}
