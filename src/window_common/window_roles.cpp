#include "window_common/window_roles.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace quenby {

namespace {

struct WindowRole
{
    const char *className;
    QAccessible::Role role;
};

const WindowRole kWindowRoles[] = {
    {"quenby::MainWindowView", QAccessible::Window},
    {"quenby::Form2", QAccessible::Dialog},
    {"QMessageBox", QAccessible::Dialog},
};

QAccessibleInterface *windowInterface(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget || !widget->isWindow())
        return nullptr;
    for (const WindowRole &window : kWindowRoles) {
        if (className == QLatin1String(window.className))
            return new QAccessibleWidget(widget, window.role);
    }
    return nullptr;
}

} // namespace

void giveWindowsTheirRoles()
{
    static const bool installed = [] {
        QAccessible::installFactory(windowInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace quenby
