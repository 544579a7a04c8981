#include "main_window/main_window_view.h"

#include "window_common/design_text.h"
#include "window_common/faces.h"
#include "window_common/twips.h"
#include "window_common/window_roles.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace quenby {

namespace {

const TwipsRect kClientArea{0, 0, 5580, 2190};
const TwipsRect kBanner{0, 0, 4335, 2175};
const TwipsRect kLabel1{480, 120, 3495, 255};
const TwipsRect kLabel5{480, 1680, 3495, 420};
const TwipsRect kLblVersion{2160, 1440, 60, 195};
const TwipsRect kImage3{1920, 960, 480, 480};
// Right of the icon, on the light part of the banner, clear of every designed
// control: two lines for the pause's seconds left.
const TwipsRect kLblCountdown{2520, 945, 1755, 480};

struct ButtonDesign
{
    QPushButton *MainWindowView::*member;
    const char *name;
    const char16_t *caption;
    TwipsRect rect;
};

// In tab order. The quit button is 375 twips high, not 360 like the others.
const ButtonDesign kButtons[] = {
    {&MainWindowView::ok1, "ok1", u"終了(&Q)", {4350, 0, 1215, 360}},
    {&MainWindowView::reboot, "reboot", u"再起動(&R)", {4350, 360, 1215, 360}},
    {&MainWindowView::Suspend, "Suspend", u"サスペンド(&P)", {4350, 720, 1215, 360}},
    {&MainWindowView::test, "test", u"実行のみ(&T)", {4350, 1080, 1215, 360}},
    {&MainWindowView::setting, "setting", u"設定(&S)", {4350, 1440, 1215, 360}},
    {&MainWindowView::Cancel1, "Cancel1", u"Cancel(&C)", {4350, 1800, 1215, 375}},
};

const QColor kStatusGreen(0, 255, 0);
const QColor kCreditRed(192, 0, 0);


// The banner and the icon come in two densities. A screen of more than one
// device pixel to the window's pixel gets the pictures of twice the size,
// shown in the same place at the same size.
QPixmap picture(const QString &name, const QString &suffix, qreal devicePixelRatio)
{
    if (devicePixelRatio <= 1.0)
        return QPixmap(QStringLiteral(":/%1.%2").arg(name, suffix));
    QPixmap large(QStringLiteral(":/%1@2x.%2").arg(name, suffix));
    large.setDevicePixelRatio(2.0);
    return large;
}

QLabel *makeLabel(QWidget *parent, const char *name, const TwipsRect &rect)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rect.toPixels());
    return label;
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

MainWindowView::MainWindowView(QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("TARVEN Inc. Quenby"));
    giveWindowsTheirRoles();
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kClientArea.toPixels().size());
    setFont(captionFont());
    createPicture();
    createLabels();
    createButtons();
    loadFacesBeforeShowing();
}

// The controls stand at fixed places, so nothing measures their texts before
// the window is mapped, and the faces would be loaded by the first paint
// instead. Measuring now lets the window appear ready to paint at once.
void MainWindowView::loadFacesBeforeShowing()
{
    for (QLabel *label : findChildren<QLabel *>())
        label->fontMetrics().horizontalAdvance(label->text());
    for (QPushButton *button : findChildren<QPushButton *>())
        button->fontMetrics().horizontalAdvance(button->text());
}

void MainWindowView::createPicture()
{
    banner = makeLabel(this, "banner", kBanner);
    banner->setPixmap(picture(QStringLiteral("banner"), QStringLiteral("jpg"), devicePixelRatioF()));
    banner->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The window's icon and the picture on the banner are one picture. It is
    // the icon of every window the program opens: the settings window, the
    // messages and the file dialog take the application's.
    const QPixmap icon = picture(QStringLiteral("icon"), QStringLiteral("png"), devicePixelRatioF());
    QApplication::setWindowIcon(icon);
    setWindowIcon(icon);
    Image3 = makeLabel(this, "Image3", kImage3);
    Image3->setPixmap(icon);
}

void MainWindowView::createLabels()
{
    Label1 = makeLabel(this, "Label1", kLabel1);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setTextColour(Label1, kStatusGreen);

    Label5 = makeLabel(this, "Label5", kLabel5);
    Label5->setFont(creditFont());
    setTextColour(Label5, kCreditRed);
    Label5->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label5->setWordWrap(true);
    Label5->setText(designText(u"Copyright © 2026 TARVEN Inc.\n終了前のひと仕事を、おまかせください。"));

    lblVersion = makeLabel(this, "lblVersion", kLblVersion);
    lblVersion->setFont(creditFont());
    setTextColour(lblVersion, kCreditRed);
    lblVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    lblCountdown = makeLabel(this, "lblCountdown", kLblCountdown);
    setTextColour(lblCountdown, kCreditRed);
    lblCountdown->setAlignment(Qt::AlignCenter);
    lblCountdown->hide();
}

void MainWindowView::createButtons()
{
    QPushButton *previous = nullptr;
    for (const ButtonDesign &design : kButtons) {
        auto *button = new QPushButton(designText(design.caption), this);
        button->setObjectName(QString::fromLatin1(design.name));
        button->setGeometry(design.rect.toPixels());
        // Enter presses the button that has the focus; no button is the default.
        button->setAutoDefault(true);
        if (previous)
            QWidget::setTabOrder(previous, button);
        previous = button;
        this->*design.member = button;
    }
}

void MainWindowView::setVersionText(const QString &versionText)
{
    // The label sizes itself to its text: its left and top stay, it grows right and down.
    lblVersion->setText(versionText);
    const QRect design = kLblVersion.toPixels();
    lblVersion->setGeometry(QRect(design.topLeft(), versionText.isEmpty() ? design.size() : lblVersion->sizeHint()));
}

void MainWindowView::showCountdown(const QString &text)
{
    lblCountdown->setText(text);
    lblCountdown->setVisible(!text.isEmpty());
}

void MainWindowView::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit frameClosed();
}

} // namespace quenby
