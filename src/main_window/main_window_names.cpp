#include "main_window/main_window_names.h"

#include "main_window/main_window_view.h"

#include <QLabel>
#include <QPushButton>

namespace quenby {

namespace {

QString statusName(const QString &text)
{
    return text.isEmpty() ? QString::fromUtf16(u"状態") : text;
}

} // namespace

void nameMainWindowControls(MainWindowView &view)
{
    view.banner->setAccessibleName(QStringLiteral("TARVEN Inc. Quenby"));
    view.Image3->setAccessibleName(QString::fromUtf16(u"Quenby のアイコン"));
    view.Label1->setAccessibleName(statusName(view.Label1->text()));
    view.lblCountdown->setAccessibleName(QString::fromUtf16(u"残り時間"));
    const std::pair<QPushButton *, const char16_t *> buttons[] = {
        {view.ok1, u"終了"}, {view.reboot, u"再起動"}, {view.Suspend, u"サスペンド"},
        {view.test, u"実行のみ"}, {view.setting, u"設定"}, {view.Cancel1, u"Cancel"},
    };
    for (const auto &[button, name] : buttons)
        button->setAccessibleName(QString::fromUtf16(name));
}

void showStatus(QLabel *statusLine, const QString &text)
{
    statusLine->setText(text);
    statusLine->setAccessibleName(statusName(text));
}

} // namespace quenby
