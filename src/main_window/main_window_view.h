#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace quenby {

// The main window as the user sees it: a banner, three text lines, the icon and
// a column of six buttons, laid out once from the design table. A new one is
// made for every load of the main window.
class MainWindowView : public QWidget
{
    Q_OBJECT

public:
    explicit MainWindowView(QWidget *parent = nullptr);

    // Shows a new version text; the label keeps its corner and grows to fit.
    void setVersionText(const QString &text);
    // Shows the pause's seconds left beside the icon; hidden while empty.
    void showCountdown(const QString &text);

    QLabel *banner = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *ok1 = nullptr;
    QPushButton *reboot = nullptr;
    QPushButton *Suspend = nullptr;
    QPushButton *test = nullptr;
    QPushButton *setting = nullptr;
    QPushButton *Cancel1 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *Image3 = nullptr;
    QLabel *lblCountdown = nullptr;

signals:
    // The user closed the window through its frame.
    void frameClosed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createPicture();
    void createLabels();
    void createButtons();
    void loadFacesBeforeShowing();
};

} // namespace quenby
