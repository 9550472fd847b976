#include "ui/InfoUnit.h"

#include "controls/OvalBtn.h"
#include "controls/URLLabel.h"
#include "ui/FixedDialog.h"
#include "ui/JpegImage.h"

#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>

// Resources compiled into a static library are registered only when asked for by name.
static void RegisterAboutResources() {
    Q_INIT_RESOURCE(about);
}

namespace ui {
namespace {

constexpr int ModalResultClose = 3;
constexpr const char *BoxPicture = ":/pictures/about-box.jpg";

QFont FontOf(const char *family, int pixelHeight, bool bold) {
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

QPixmap ProductPicture() {
    QFile file(BoxPicture);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    try {
        return QPixmap::fromImage(
            DecodeJpeg(reinterpret_cast<const unsigned char *>(bytes.constData()), bytes.size()));
    } catch (const EJpegError &) {
        // The picture is compiled in; should it ever be damaged, the box still works without.
        return {};
    }
}

} // namespace

TInfoForm::TInfoForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    RegisterAboutResources();
    setObjectName("InfoForm");
    setWindowTitle("About...");
    setFixedSize(329, 274);
    setFont(FontOf("Arial", 12, false));
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);

    CreatePanel();
    CreateCloseButton();
}

void TInfoForm::CreatePanel() {
    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(0, 0, 329, 236);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Panel1->setAutoFillBackground(true);

    Label7 = new QLabel("Nimbrel", Panel1);
    Label7->setObjectName("Label7");
    Label7->setGeometry(11, 9, 166, 46);
    Label7->setFont(FontOf("Arial", 19, true));
    Label7->setAlignment(Qt::AlignCenter);
    Label7->setWordWrap(true);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName("Image1");
    Image1->setGeometry(7, 73, 150, 140);
    Image1->setScaledContents(true);
    Image1->setPixmap(ProductPicture());

    SetAccessibleText(*Label7, "Nimbrel", "The program's name");
    SetAccessibleText(*Image1, "Nimbrel", "The program's picture");
    if (*ContactAddress == '\0')
        return;
    URLLabel2 = new controls::TURLLabel(Panel1);
    URLLabel2->setObjectName("URLLabel2");
    URLLabel2->SetURLType(controls::TURLType::utMailTo);
    URLLabel2->SetCaption(ContactAddress);
    URLLabel2->move(198, 109);
    SetAccessibleText(*URLLabel2, QString::fromLatin1(ContactAddress),
                      "Writes a new mail to the maker");
}

void TInfoForm::CreateCloseButton() {
    BitBtn3 = new controls::TOvalButton(this);
    BitBtn3->setObjectName("BitBtn3");
    BitBtn3->setGeometry(132, 241, 64, 31);
    BitBtn3->SetCaption("Close");
    BitBtn3->SetBevelWidth(2);
    BitBtn3->SetColor(controls::clBtnFace);
    BitBtn3->SetFont(FontOf("MS Sans Serif", 11, true));
    BitBtn3->setCursor(Qt::PointingHandCursor);
    BitBtn3->OnClick = [this](controls::TOvalButton *) { BitBtn3Click(); };
    SetAccessibleText(*BitBtn3, "Close", "Closes the about box");
}

int TInfoForm::ShowModal() {
    return exec();
}

void TInfoForm::BitBtn3Click() {
    done(ModalResultClose);
}

void TInfoForm::showEvent(QShowEvent *event) {
    if (const QScreen *where = screen()) {
        QRect placed = frameGeometry();
        placed.moveCenter(where->availableGeometry().center());
        move(placed.topLeft());
    }
    QDialog::showEvent(event);
}

void TInfoForm::keyPressEvent(QKeyEvent *event) {
    // Typed characters go to the oval buttons as accelerators; Escape closes the box as its
    // Close button does.
    const QString typed = event->text();
    if (!typed.isEmpty()) {
        for (controls::TOvalButton *button : findChildren<controls::TOvalButton *>()) {
            if (button->DialogChar(typed)) {
                event->accept();
                return;
            }
        }
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        BitBtn3Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace ui
