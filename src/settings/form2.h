#pragma once

#include <QWidget>

#include <array>
#include <optional>

#include "platform/interfaces/services.h"
#include "settings/window_place.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quenby {

class ProgramBrowseDialog;
class WindowHandOver;

// The settings window. It takes the place of the main window while it is open:
// creating it unloads the main window, closing it loads the main window anew.
// Controls keep their design names; the numbered ones are indexed from 1 like
// their names (index 0 is never used).
class Form2 : public QWidget
{
    Q_OBJECT

public:
    // Creating the window loads it: the main window is unloaded, the window is
    // placed at its stored position and the controls are filled from RunConfig.
    Form2(WindowHandOver &handOver, const Services &services);

    // Gives the focus to the path box of program slot 1..5; other numbers move no focus.
    void focusPathBox(int slot);

    // The file dialog of this opening, or null before the first browse.
    ProgramBrowseDialog *browseDialog() const { return m_browse; }
    int saveFailed() const { return SaveFailed; }

    std::array<QGroupBox *, 9> Frame{};
    std::array<QCheckBox *, 8> Check{};
    std::array<QLineEdit *, 7> Text{};
    std::array<QPushButton *, 6> sansyou{};
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QPushButton *ok2 = nullptr;
    QPushButton *Cancel2 = nullptr;
    QPushButton *Save = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Building the design state (form2_layout.cpp).
    void createControls();
    void useWindowFont();
    void createSlot(int slot);
    void createCleanUps();
    void createPause();
    void createButtons();
    void connectHandlers();
    void nameControls();

    // Opening and closing.
    void Form_Load();
    void fillSlot(int slot);
    void Form_Unload();

    // Handlers.
    void Check_Click(int n);
    void Text_Change(int n);
    void sansyou_Click(int slot);
    void ok2_Click();
    void Cancel2_Click();
    void EnableSave();
    void setSlotEnabled(int slot, bool enabled);
    void bringToFront();
    std::optional<QString> ShowSansyou();

    // Apply (form2_apply.cpp).
    void Save_Click();
    bool pauseTextAccepted() const;
    bool applySlot(int slot);
    void applyCleanUp(int n);
    void applyPause();
    void refuse(const QString &message, QLineEdit *box);

    WindowHandOver &m_handOver;
    Services m_services;
    ProgramBrowseDialog *m_browse = nullptr;
    WindowPlace m_place;
    bool m_loading = false;
    qint32 SaveFailed = 0;
};

// A check box's state as the settings keep it: 0 unticked, 1 ticked, 2 grayed.
qint32 checkValue(const QCheckBox *box);
// Anything but 1 and 2 shows as unticked.
void setCheckValue(QCheckBox *box, qint32 value);

} // namespace quenby
