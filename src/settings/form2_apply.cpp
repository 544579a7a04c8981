#include "settings/form2.h"

#include "settings/number_text.h"
#include "settings/run_config.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace quenby {

namespace {

const QString kPauseKey = QStringLiteral("byou");

QString slotMessage(int slot)
{
    return QStringLiteral("№") + QString::number(slot)
        + QStringLiteral("\u3000実行させたいファイルのフルパスを指定してください。");
}

QString pauseMessage()
{
    return QStringLiteral("待ち時間\u3000%1 から %2 までの整数（秒）を指定してください。")
        .arg(PauseRange::shortest)
        .arg(PauseRange::longest);
}

} // namespace

// Every key is written to the store and then to RunConfig in the same step,
// so the two agree whether or not apply gets to the end. A refused pause is
// caught before anything is written; a refused slot after the slots before it.
// What one apply writes reaches the settings file in one replacement; when it
// cannot, SaveFailed says so as for a refused slot.
void Form2::Save_Click()
{
    StoreBatch batch(m_services.store);
    Save->setEnabled(false);
    if (!pauseTextAccepted()) {
        refuse(pauseMessage(), Text[6]);
        return;
    }
    for (int slot = 1; slot <= 5; ++slot) {
        if (!applySlot(slot))
            return;
    }
    applyCleanUp(6);
    applyCleanUp(7);
    applyPause();
    if (!batch.commit())
        SaveFailed = 1;
}

// Start-up reads the pause with the same converter, so whatever is accepted
// here reads back as the same number; only what the run can honour is
// accepted. An empty box stands for 0.
bool Form2::pauseTextAccepted() const
{
    const QString pause = Text[6]->text();
    if (pause.isEmpty())
        return true;
    const std::optional<qint32> seconds = textToLong(pause);
    return seconds && PauseRange::holds(*seconds);
}

bool Form2::applySlot(int slot)
{
    const qint32 state = checkValue(Check[slot]);
    const QString path = Text[slot]->text();
    if (state == 1 && path.isEmpty()) {
        refuse(slotMessage(slot), Text[slot]);
        return false;
    }
    m_services.store.SaveSetting(checkKey(slot), QString::number(state));
    RunConfig.check[slot] = state;
    m_services.store.SaveSetting(kidouKey(slot), path);
    RunConfig.kidou[slot] = path;
    RunConfig.kidouUnreadable[slot] = false;
    return true;
}

void Form2::applyCleanUp(int n)
{
    const qint32 state = checkValue(Check[n]);
    m_services.store.SaveSetting(checkKey(n), QString::number(state));
    RunConfig.check[n] = state;
}

// Putting "0" into an empty box is an edit like any other: Save comes back on.
void Form2::applyPause()
{
    if (Text[6]->text().isEmpty())
        Text[6]->setText(QStringLiteral("0"));
    const QString pause = Text[6]->text();
    m_services.store.SaveSetting(kPauseKey, pause);
    RunConfig.byou = textToLong(pause).value_or(0);
}

void Form2::refuse(const QString &message, QLineEdit *box)
{
    SaveFailed = 1;
    m_services.desktop.beep();
    m_services.desktop.messageBox(message);
    box->setFocus(Qt::OtherFocusReason);
}

} // namespace quenby
