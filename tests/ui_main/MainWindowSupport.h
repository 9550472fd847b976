#pragma once

#include "base/FieldKeys.h"

#include "core/SearchOptions.h"
#include "tests/support/ProbeCalls.h"
#include "tests/support/QtTestMain.h"
#include "tests/support/TempConfigHome.h"
#include "tests/support/TempFolder.h"
#include "ui/InfoUnit.h"
#include "ui/SettingsUnit.h"
#include "ui/StartUnit.h"
#include "ui/Unit1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Points the user's data folder, where the indexes live, at a fresh empty folder for the
// lifetime of the object.
class TempDataHome {
public:
    TempDataHome() {
        if (const char *old = std::getenv("XDG_DATA_HOME"))
            previous_ = old;
        ::setenv("XDG_DATA_HOME", folder_.Path().c_str(), 1);
    }
    ~TempDataHome() {
        if (previous_)
            ::setenv("XDG_DATA_HOME", previous_->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }
    TempDataHome(const TempDataHome &) = delete;
    TempDataHome &operator=(const TempDataHome &) = delete;

private:
    TempFolder folder_{"nimbrel-data"};
    std::optional<std::string> previous_;
};

// The child of parent with the given object name; a missing one ends the test.
template <class Object> Object *Find(const QObject &parent, const char *name) {
    auto *object = parent.findChild<Object *>(QString::fromLatin1(name));
    if (!object)
        throw std::logic_error(std::string("no object named ") + name);
    return object;
}

// Stands in for the desktop's handlers of web and file addresses and records what it is asked
// to open, so that no browser starts.
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    UrlRecorder() {
        for (const char *scheme : {"http", "https", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "Open");
    }
    ~UrlRecorder() override {
        for (const char *scheme : {"http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

    QStringList opened;

public slots:
    void Open(const QUrl &url) { opened << url.toString(); }
};

// What the probes answer for every available name.
inline constexpr const char *kLinks = "1234";
inline constexpr const char *kRank = "947";

// Probes that log every call and run an action hooked to it inside the call, as a user's click
// would arrive while the probe waits for the network. They answer from a table of taken names,
// or pass each call on to other probes (the real ones over a test socket layer).
class HookedProbes : public testsupport::ProbeCalls {
public:
    std::map<std::string, std::string> taken;            // the names whose sites answer
    std::map<std::string, std::function<void()>> during; // "check:NAME", "links:NAME", "rank:NAME"
    std::vector<std::string> log;
    testsupport::ProbeCalls *through = nullptr;

    probes::Availability CheckAvailability(const std::string &url, int port) override {
        const std::string name = url.substr(std::string("http://www.").size());
        const probes::Availability answer =
            through
                ? through->CheckAvailability(url, port)
                : (taken.count(name) ? probes::Availability::Taken : probes::Availability::Free);
        Call("check:" + name);
        return answer;
    }
    std::string GetLinkPopularity(const std::string &name) override {
        std::string answer = through ? through->GetLinkPopularity(name) : kLinks;
        Call("links:" + name);
        return answer;
    }
    std::string GetTrafficRank(const std::string &name) override {
        std::string answer = through ? through->GetTrafficRank(name) : kRank;
        Call("rank:" + name);
        return answer;
    }

private:
    void Call(const std::string &call) {
        log.push_back(call);
        auto found = during.find(call);
        if (found == during.end())
            return;
        auto action = std::move(found->second);
        during.erase(found);
        action();
    }
};

// The longest pause between a 10 ms timer's ticks that still counts as a window that answers. A
// window thread that waits on the network or the disk pauses for seconds; a sanitizer build runs
// everything several times slower, so it gets twice the margin.
#ifdef NIMBREL_SANITIZED
inline constexpr std::chrono::milliseconds kLivelyGap{100};
#else
inline constexpr std::chrono::milliseconds kLivelyGap{50};
#endif

// A row as MainWindowFixture::Rows shows it.
// The evidence, expiry date, registrar and status columns, which the scripted probes leave empty.
inline constexpr const char *kNoEvidence = " - - - -";
// The host count a row without a web-graph index shows.
inline constexpr const char *kNoHosts = " -";
// The offer a row without a for-sale record shows.
inline constexpr const char *kNoOffer = " -";
inline std::string AvailableRow(const std::string &name, const std::string &suffix) {
    return name + " " + suffix + " Yes " + kLinks + " " + kRank + kNoEvidence + kNoHosts + kNoOffer +
           " [x]";
}
inline std::string TakenRow(const std::string &name, const std::string &suffix) {
    return name + " " + suffix + " No - -" + kNoEvidence + kNoHosts + kNoOffer + " [ ]";
}

// Runs action once, right after the next dialog of type Dialog has been shown, inside its own
// message loop.
template <class Dialog> void WhenShown(std::function<void(Dialog &)> action) {
    class Watcher : public QObject {
    public:
        // Owned by the application, so that a watcher whose dialog never shows is freed too.
        explicit Watcher(std::function<void(Dialog &)> action)
            : QObject(qApp), action_(std::move(action)) {
            qApp->installEventFilter(this);
        }

    protected:
        bool eventFilter(QObject *watched, QEvent *event) override {
            auto *dialog = qobject_cast<Dialog *>(watched);
            if (event->type() != QEvent::Show || !dialog)
                return false;
            qApp->removeEventFilter(this);
            QPointer<Dialog> shown(dialog);
            QTimer::singleShot(0, qApp, [shown, action = std::move(action_), self = this] {
                if (shown)
                    action(*shown);
                self->deleteLater();
            });
            return false;
        }

    private:
        std::function<void(Dialog &)> action_;
    };
    new Watcher(std::move(action));
}

// Runs action at the next drain of the message queue, as a user's click arrives.
inline void AtNextDrain(std::function<void()> action) {
    QTimer::singleShot(0, qApp, std::move(action));
}

// Clears the keywords dialog's list, types each keyword and adds it, and presses Search.
inline void AnswerKeywords(ui::TStartForm &dialog, const std::vector<std::string> &keywords) {
    Find<QAbstractButton>(dialog, "BitBtn5")->click();
    auto *edit = Find<QLineEdit>(dialog, "leKeyword");
    for (const std::string &keyword : keywords) {
        edit->setText(QString::fromStdString(keyword));
        Find<QAbstractButton>(dialog, "AddBtn")->click();
    }
    Find<QAbstractButton>(dialog, "BitBtn1")->click();
}

inline void AnswerCancel(ui::TStartForm &dialog) {
    Find<QAbstractButton>(dialog, "BitBtn2")->click();
}

inline void SendKey(QObject *receiver, QEvent::Type type, int key) {
    QKeyEvent event(type, key, Qt::NoModifier);
    QApplication::sendEvent(receiver, &event);
}

// Answers the window's "Save the results first?" question by pressing one of its buttons as soon
// as it shows, and counts how often it was asked.
class SaveQuestionAnswerer : public QObject {
public:
    SaveQuestionAnswerer() { qApp->installEventFilter(this); }
    ~SaveQuestionAnswerer() override { qApp->removeEventFilter(this); }

    QMessageBox::StandardButton answer = QMessageBox::Discard;
    int asked = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (event->type() != QEvent::Show || !box ||
            box->objectName() != QLatin1String("SaveQuestion"))
            return false;
        ++asked;
        QTimer::singleShot(0, box, [box, this] { box->button(answer)->click(); });
        return false;
    }
};

// The main window with its real dialogs over fake probes, the per-user store in a temporary
// folder, and file dialogs answered from a list.
class MainWindowFixture {
public:
    MainWindowFixture() {
        options.COM = true;
        options.NET = false;
        options.ORG = false;
        options.SetShow(core::kShowAll);
        options.SetJobs(1); // the one-after-the-other run, whose drains the tests follow
        form.AttachDialogs([this] { return startForm.AskKeywords(); },
                           [this] {
                               ++aboutShown;
                               infoForm.ShowModal();
                           },
                           [this] { settingsForm.ShowModal(); });
        form.SetFileChooser([this](QFileDialog &dialog) -> std::optional<std::string> {
            askedDialogs.push_back({dialog.objectName(), dialog.acceptMode(), dialog.nameFilters(),
                                    dialog.defaultSuffix(), dialog.directory().absolutePath()});
            if (fileAnswers.empty())
                return std::nullopt;
            std::optional<std::string> answer = fileAnswers.front();
            fileAnswers.erase(fileAnswers.begin());
            return answer;
        });
    }
    ~MainWindowFixture() {
        SendKey(&form, QEvent::KeyRelease, Qt::Key_Escape);
        ShownMessages().clear();
    }

    QAbstractButton *Button(const char *name) { return Find<QAbstractButton>(form, name); }
    QAction *Action(const char *name) { return Find<QAction>(form, name); }

    // Presses Start and answers the keywords dialog.
    void Search(const std::vector<std::string> &keywords) {
        WhenShown<ui::TStartForm>(
            [keywords](ui::TStartForm &dialog) { AnswerKeywords(dialog, keywords); });
        Button("BitBtn2")->click();
    }

    // Every row as "name suffix available links rank" followed by "[x]" or "[ ]"; the display
    // name's cell, which the list does not show, left out.
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        results::ResultList &list = form.Results();
        for (int i = 0; i < list.Count(); ++i) {
            const results::ResultRow &row = *list.Row(i);
            std::string text = row.Caption();
            // Appended piece by piece: GCC 12 warns falsely about " " + std::string at -O3.
            for (int s = 0; s < row.SubItemCount(); ++s) {
                if (list.GetColumns().At(s + 1).key == base::field::kDisplay)
                    continue;
                text += ' ';
                text += *row.SubItem(s);
            }
            text += row.Checked() ? " [x]" : " [ ]";
            rows.push_back(text);
        }
        return rows;
    }

    TempConfigHome home;
    TempDataHome data;
    core::SearchOptions options;
    HookedProbes probes;
    // What each run asks, chosen as it starts: the hooked probes unless a test chooses otherwise.
    std::function<core::CheckSetup()> chooseSetup;
    UrlRecorder urls;
    ui::TForm1 form{options,
                    [this] {
                        if (chooseSetup)
                            return chooseSetup();
                        core::CheckSetup setup;
                        setup.probes = testsupport::ProbeListOf(probes);
                        return setup;
                    },
                    net::NetworkContext()};
    ui::TStartForm startForm{options, &form};
    ui::TInfoForm infoForm{&form};
    ui::TSettingsForm settingsForm{options, &form};
    int aboutShown = 0;
    // Unsaved rows are discarded unless a test answers otherwise.
    SaveQuestionAnswerer saveQuestion;
    std::vector<std::optional<std::string>> fileAnswers;
    struct AskedDialog {
        QString name;
        QFileDialog::AcceptMode mode;
        QStringList filters;
        QString suffix;
        QString folder;
    };
    std::vector<AskedDialog> askedDialogs;
};
