#include "ui/Unit1.h"

#include "tests/ui_main/MainWindowSupport.h"
#include "ui/MainWindowPictures.h"
#include "ui/ResultListView.h"
#include "ui/ResultTableModel.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class MainWindowLook : public ::testing::Test, public MainWindowFixture {};

TEST_F(MainWindowLook, ControlsStandWhereTheyBelong) {
    struct Case {
        const char *name;
        QRect geometry;
    } cases[] = {
        {"Image1", {7, 4, 490, 55}},      {"BitBtn2", {337, 10, 48, 43}},
        {"StopBtn", {390, 10, 48, 43}},   {"BitBtn1", {443, 10, 48, 43}},
        {"ListView1", {5, 68, 490, 299}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Find<QWidget>(form, c.name)->geometry(), c.geometry) << c.name;

    form.show();
    // The client area is at least 502 x 390 below the menu bar (wider for the columns added
    // right of the first five), the status bar at its bottom.
    EXPECT_GE(form.centralWidget()->width(), 502);
    auto *status = Find<QStatusBar>(form, "StatusBar1");
    EXPECT_EQ(status->height(), 19);
    EXPECT_EQ(form.centralWidget()->height() + status->height(), 390);
    EXPECT_EQ(status->geometry().bottom(), form.height() - 1);
    const QPoint offCentre =
        form.frameGeometry().center() - form.screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2) << "centred when first shown";
    form.hide();
}

TEST_F(MainWindowLook, WindowOpensAtItsDesignedSizeWhichIsItsSmallest) {
    EXPECT_EQ(form.objectName(), "Form1");
    EXPECT_EQ(form.windowTitle(), "Nimbrel");
    EXPECT_EQ(form.minimumWidth(), 502);
    EXPECT_EQ(form.height(), form.minimumHeight());
    // Wide enough for every column at its preferred width.
    const auto *view = Find<ui::ResultListView>(form, "ListView1");
    int columns = 0;
    for (int c = 0; c < view->Model()->columnCount(); ++c)
        columns += view->Model()->Width(c);
    EXPECT_GE(form.width(), columns);
    EXPECT_GT(form.maximumWidth(), 5000) << "resizable";
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(Find<QStatusBar>(form, "StatusBar1")->isSizeGripEnabled());
}

TEST_F(MainWindowLook, ResizingGrowsTheListAndTheSizeIsRemembered) {
    form.show();
    form.resize(900, 700);
    QCoreApplication::processEvents();
    auto *list = Find<ui::ResultListView>(form, "ListView1");
    const QWidget *client = form.centralWidget();
    EXPECT_EQ(list->geometry(), QRect(5, 68, client->width() - 12, client->height() - 72));
    EXPECT_GT(list->height(), 299 + 250);
    int columns = 0;
    for (int c = 0; c < list->model()->columnCount(); ++c)
        columns += list->horizontalHeader()->sectionSize(c);
    EXPECT_EQ(columns, list->viewport()->width()) << "the columns fill the wider list";
    EXPECT_EQ(Find<QWidget>(form, "Image1")->geometry(), QRect(7, 4, 490, 55));
    // Smaller than designed is not allowed.
    form.resize(300, 200);
    EXPECT_EQ(form.size(), form.minimumSize());

    form.resize(800, 600);
    form.close();
    ui::TForm1 again(options, testsupport::ProbeListOf(probes), net::NetworkContext());
    EXPECT_EQ(again.size(), QSize(800, 600));
}

TEST_F(MainWindowLook, CaptionsOverTheBannerKeepAMargin) {
    for (const char *name : {"BitBtn2", "StopBtn", "BitBtn1"}) {
        auto *button = Find<QToolButton>(form, name);
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 2 * 3, button->width())
            << name;
    }
    EXPECT_EQ(form.font().pointSizeF(), QApplication::font().pointSizeF())
        << "the window's text at the desktop's size";
}

TEST_F(MainWindowLook, ButtonsShowPictureAboveCaptionWithHandPointer) {
    struct Case {
        const char *name;
        const char *caption;
        QSize picture;
    } cases[] = {
        {"BitBtn2", "Start", {17, 15}},
        {"StopBtn", "Stop", {16, 16}},
        {"BitBtn1", "Settings", {16, 16}},
    };
    for (const Case &c : cases) {
        auto *button = Find<QToolButton>(form, c.name);
        EXPECT_EQ(button->text(), c.caption);
        EXPECT_EQ(button->iconSize(), c.picture) << c.name;
        EXPECT_FALSE(button->icon().isNull()) << c.name;
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon) << c.name;
        EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor) << c.name;
    }
    // The settings picture carries its own greyed cell for the disabled look.
    const QIcon settings = ui::SettingsPicture();
    EXPECT_NE(settings.pixmap(16, QIcon::Normal).toImage(),
              settings.pixmap(16, QIcon::Disabled).toImage());
}

TEST_F(MainWindowLook, BannerIsDecodedFromCompiledInJpeg) {
    const QImage banner = ui::BannerImage();
    ASSERT_FALSE(banner.isNull());
    EXPECT_EQ(banner.size(), QSize(490, 55));
    // A dark grey band with white writing on its left half.
    const QColor band = banner.pixelColor(450, 50);
    EXPECT_LT(band.value(), 100);
    EXPECT_LT(std::abs(band.red() - band.blue()), 30);
    int white = 0;
    for (int y = 0; y < 55; ++y)
        for (int x = 0; x < 330; ++x)
            white += banner.pixelColor(x, y).lightness() > 230;
    EXPECT_GT(white, 300);
    EXPECT_FALSE(Find<QLabel>(form, "Image1")->pixmap().isNull());
}

struct MenuItem {
    const char *name;
    const char *caption; // nullptr for a separator
    int image;           // index into the menu images, -1 for none
};

void ExpectMenu(QMenu *menu, const char *caption, std::vector<MenuItem> items) {
    EXPECT_EQ(menu->title(), caption);
    const QList<QAction *> actions = menu->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(items.size())) << caption;
    const QList<QIcon> images = ui::MenuImages();
    for (std::size_t i = 0; i < items.size(); ++i) {
        QAction *action = actions[static_cast<qsizetype>(i)];
        EXPECT_EQ(action->objectName(), items[i].name);
        EXPECT_TRUE(action->isEnabled()) << items[i].name;
        if (!items[i].caption) {
            EXPECT_TRUE(action->isSeparator()) << items[i].name;
            continue;
        }
        EXPECT_EQ(action->text(), items[i].caption);
        if (items[i].image >= 0) {
            EXPECT_EQ(action->icon().pixmap(16).toImage(),
                      images[items[i].image].pixmap(16).toImage())
                << items[i].name;
        }
    }
}

TEST_F(MainWindowLook, MenuBarHasItsMenusWithImages) {
    const QList<QAction *> menus = form.menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    ExpectMenu(Find<QMenu>(form, "File1"), "&Results",
               {{"Open1", "&Open file...", 3},
                {"Save1", "&Save file...", 2},
                {"N2", nullptr, -1},
                {"Exit1", "E&xit", 1}});
    ExpectMenu(Find<QMenu>(form, "Domains1"), "&Domains",
               {{"Savetotextfile1", "Save names list...", 0},
                {"Watchlist1", "&Watchlist...", -1}});
    ExpectMenu(Find<QMenu>(form, "Data1"), "D&ata",
               {{"ImportWebGraph1", "Import &web graph...", 3},
                {"ImportRankList1", "Import &rank list...", 3},
                {"UpdateRegistryData1", "&Update registry data", 5}});
    ExpectMenu(Find<QMenu>(form, "Help1"), "&Help",
               {{"Contents1", "&Contents", 4},
                {"Homepage1", "The Nimbrel homepage...", 5},
                {"N1", nullptr, -1},
                {"About1", "&About...", 6}});
    EXPECT_EQ(Action("Contents1")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(ui::MenuImages().size(), 7);
}

TEST_F(MainWindowLook, PopupMenuListsItsCommandsWithBoldDefault) {
    auto *popup = Find<QMenu>(form, "PopupMenu2");
    const QList<QAction *> actions = popup->actions();
    const std::vector<const char *> captions = {"Register this domain...",
                                                "Check it manually...",
                                                "Open offer",
                                                nullptr,
                                                "Select All",
                                                "Select None",
                                                "Invert Selection",
                                                nullptr,
                                                "Force details",
                                                "Watch"};
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(captions.size()));
    for (std::size_t i = 0; i < captions.size(); ++i) {
        QAction *action = actions[static_cast<qsizetype>(i)];
        EXPECT_TRUE(action->isEnabled());
        if (captions[i]) {
            EXPECT_EQ(action->text(), captions[i]);
        } else {
            EXPECT_TRUE(action->isSeparator());
        }
    }
    EXPECT_EQ(popup->defaultAction(), Action("Registerthisdomain1"));
    EXPECT_TRUE(Action("Registerthisdomain1")->font().bold());
}

TEST_F(MainWindowLook, ResultListHasItsColumnsAndBehaviour) {
    auto *view = Find<ui::ResultListView>(form, "ListView1");
    QHeaderView *header = view->horizontalHeader();
    struct Column {
        const char *caption;
        int width;
        int minimum;
    } columns[] = {{"Domain name", 165, 110},   {"Top Level", 62, 62},      {"Available", 70, 65},
                   {"Link Popularity", 95, 90}, {"Alexa Ranking", 100, 95}, {"Evidence", 90, 40},
                   {"Expires", 90, 40},         {"Registrar", 90, 40},      {"Status", 90, 40},
                   {"Display name", 0, 0},      {"Hosts", 90, 40},
                   {"Offer", 90, 40}};
    ASSERT_EQ(view->model()->columnCount(), static_cast<int>(std::size(columns)));
    // The preferred widths, until the list is shown and its columns fill it (see ListFitTest).
    for (int c = 0; c < view->model()->columnCount(); ++c) {
        EXPECT_EQ(view->model()->headerData(c, Qt::Horizontal).toString(), columns[c].caption);
        EXPECT_EQ(view->model()->headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString(),
                  columns[c].caption);
        EXPECT_EQ(header->sectionSize(c), columns[c].width) << columns[c].caption;
    }
    // The domain name's column shows the display name.
    EXPECT_TRUE(view->isColumnHidden(9));
    for (int c = 0; c < 9; ++c) {
        header->resizeSection(c, 10);
        EXPECT_EQ(header->sectionSize(c), columns[c].minimum) << columns[c].caption;
    }
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_TRUE(header->sectionsClickable());
    EXPECT_TRUE(view->showGrid());
    EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(MainWindowLook, ProgramFolderAndOpenDialog) {
    const std::string folder = form.ProgramFolder();
    EXPECT_EQ(QString::fromStdString(folder), QCoreApplication::applicationDirPath() + "/");
    auto *dialog = Find<QFileDialog>(form, "OpenDialog1");
    EXPECT_EQ(dialog->nameFilters(), QStringList{"Nimbrel files (*.nbr)"});
    EXPECT_EQ(dialog->defaultSuffix(), "nbr");
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
}

} // namespace
