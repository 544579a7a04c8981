#pragma once

#include <QWidget>

#include "platform/services.h"

namespace quenby {

class Form1;

// The settings window. It takes the place of the main window while it is open.
class Form2 : public QWidget
{
    Q_OBJECT

public:
    // Creating the window loads it: the main window is unloaded and the
    // controls are filled from RunConfig.
    Form2(Form1 &mainWindow, const Services &services);

    // Gives the focus to the path box of program slot 1..5; other numbers move no focus.
    void focusPathBox(int slot);

private:
    Form1 &m_mainWindow;
    Services m_services;
};

} // namespace quenby
