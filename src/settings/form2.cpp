#include "settings/form2.h"

#include "settings/form2_design.h"
#include "settings/program_browse_dialog.h"
#include "settings/run_config.h"
#include "window_common/hand_over.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace quenby {

namespace {

// A utility window: close box only, no taskbar entry of its own, no owner.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

} // namespace

qint32 checkValue(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void setCheckValue(QCheckBox *box, qint32 value)
{
    box->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

Form2::Form2(WindowHandOver &handOver, const Services &services)
    : QWidget(nullptr, kWindowFlags)
    , m_handOver(handOver)
    , m_services(services)
    , m_place(services.store, QStringLiteral("Form2Top"), QStringLiteral("Form2Left"))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf16(form2_design::kCaption));
    setFixedSize(form2_design::kClientArea.toPixels().size());
    createControls();
    nameControls();
    connectHandlers();
    Form_Load();
}

void Form2::connectHandlers()
{
    for (int n = 1; n <= 7; ++n)
        connect(Check[n], &QCheckBox::stateChanged, this, [this, n] { Check_Click(n); });
    for (int n = 1; n <= 6; ++n)
        connect(Text[n], &QLineEdit::textChanged, this, [this, n] { Text_Change(n); });
    for (int slot = 1; slot <= 5; ++slot)
        connect(sansyou[slot], &QPushButton::clicked, this, [this, slot] { sansyou_Click(slot); });
    connect(Save, &QPushButton::clicked, this, &Form2::Save_Click);
    connect(ok2, &QPushButton::clicked, this, &Form2::ok2_Click);
    connect(Cancel2, &QPushButton::clicked, this, &Form2::Cancel2_Click);
}

// Filling the controls raises their handlers as an edit would; whatever they
// enabled, Save ends up disabled.
void Form2::Form_Load()
{
    m_loading = true;
    m_handOver.settingsWindowOpening();
    // The window may hang over an edge, but its OK / Cancel / apply row is
    // always on a screen.
    m_place.restore(*this, form2_design::kOk2.toPixels().united(form2_design::kSave.toPixels()));
    for (int slot = 1; slot <= 5; ++slot)
        fillSlot(slot);
    setCheckValue(Check[6], RunConfig.check[6]);
    setCheckValue(Check[7], RunConfig.check[7]);
    Text[6]->setText(QString::number(RunConfig.byou));
    Save->setEnabled(false);
    m_loading = false;
}

void Form2::fillSlot(int slot)
{
    setCheckValue(Check[slot], RunConfig.check[slot]);
    Text[slot]->setText(RunConfig.kidou[slot]);
    if (checkValue(Check[slot]) == 0)
        setSlotEnabled(slot, false);
}

void Form2::Form_Unload()
{
    m_place.save(*this);
    m_handOver.settingsWindowClosed();
}

void Form2::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

// Esc presses Cancel2 anywhere. Enter reaches the window when no push button
// has the focus (a focused one presses itself) and then presses Save, if enabled.
void Form2::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        Cancel2->click();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (Save->isEnabled())
            Save->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void Form2::focusPathBox(int slot)
{
    if (slot < 1 || slot > 5)
        return;
    Text[slot]->setFocus(Qt::OtherFocusReason);
}

// Slot boxes enable their path box and browse button while ticked or grayed;
// ticking one brings the window to the front with the focus in its path box.
void Form2::Check_Click(int n)
{
    EnableSave();
    if (n > 5)
        return;
    if (checkValue(Check[n]) == 0) {
        setSlotEnabled(n, false);
        return;
    }
    setSlotEnabled(n, true);
    bringToFront();
    Text[n]->setFocus(Qt::OtherFocusReason);
}

void Form2::setSlotEnabled(int slot, bool enabled)
{
    Text[slot]->setEnabled(enabled);
    sansyou[slot]->setEnabled(enabled);
}

// While loading, the window is shown afterwards by whoever created it.
void Form2::bringToFront()
{
    if (m_loading)
        return;
    show();
    raise();
    activateWindow();
}

void Form2::Text_Change(int)
{
    EnableSave();
}

void Form2::EnableSave()
{
    Save->setEnabled(true);
}

// A save that did not reach the disk keeps the window open like a refused
// apply (apply says so in SaveFailed): closing would reload the old settings
// over the user's edits.
void Form2::ok2_Click()
{
    SaveFailed = 0;
    Save_Click();
    if (SaveFailed == 1)
        return;
    close();
}

void Form2::Cancel2_Click()
{
    close();
}

// A cancelled dialog leaves the path box as it was.
void Form2::sansyou_Click(int slot)
{
    const std::optional<QString> chosen = ShowSansyou();
    if (chosen)
        Text[slot]->setText(*chosen);
}

// The dialog is made at the first browse of an opening, not with the window:
// it is slow to build and most openings never need it.
std::optional<QString> Form2::ShowSansyou()
{
    EnableSave();
    if (!m_browse)
        m_browse = new ProgramBrowseDialog(this);
    return m_browse->choose(m_services.desktop.programFolder());
}

} // namespace quenby
