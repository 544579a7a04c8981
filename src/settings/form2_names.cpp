#include "settings/form2.h"

#include "window_common/design_text.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quenby {

namespace {


QString slotName(int n, const QString &what)
{
    return QStringLiteral("№") + QString::number(n) + u' ' + what;
}

} // namespace

// Names a screen reader speaks for every control, with the slot's number where
// the caption alone ("参照", "№2") says too little. The texts beside a box are
// linked to it, so a screen reader reads them with the box.
void Form2::nameControls()
{
    for (int slot = 1; slot <= 5; ++slot) {
        Frame[slot]->setAccessibleName(QStringLiteral("№") + QString::number(slot));
        Check[slot]->setAccessibleName(slotName(slot, designText(u"実行する")));
        Check[slot]->setAccessibleDescription(Label1->text());
        Text[slot]->setAccessibleName(slotName(slot, designText(u"実行するファイル")));
        sansyou[slot]->setAccessibleName(slotName(slot, designText(u"参照")));
    }
    Frame[6]->setAccessibleName(designText(u"一時ファイルの削除"));
    Check[6]->setAccessibleName(slotName(6, Label4->text()));
    Label4->setBuddy(Check[6]);
    Frame[7]->setAccessibleName(designText(u"最近使ったファイルの削除"));
    Check[7]->setAccessibleName(slotName(7, Label5->text()));
    Label5->setBuddy(Check[7]);
    Frame[8]->setAccessibleName(designText(u"待ち時間"));
    Text[6]->setAccessibleName(designText(u"待ち時間（秒）"));
    Text[6]->setAccessibleDescription(Label2->text());
    Label2->setBuddy(Text[6]);
    Label3->setBuddy(Text[6]);
}

} // namespace quenby
