#include "settings/form2.h"

#include "main_window/form1.h"

namespace quenby {

Form2::Form2(Form1 &mainWindow, const Services &services)
    : QWidget(nullptr, Qt::Tool)
    , m_mainWindow(mainWindow)
    , m_services(services)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("TARVEN Inc. Quenby  設定"));
    m_mainWindow.unload();
}

void Form2::focusPathBox(int)
{
}

} // namespace quenby
