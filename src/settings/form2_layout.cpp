#include "settings/form2.h"

#include "settings/form2_design.h"
#include "window_common/design_text.h"
#include "window_common/faces.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace quenby {

using namespace form2_design;

namespace {


QString numbered(const char *name, int n)
{
    return QString::fromLatin1(name) + QString::number(n);
}

// A click moves between unticked and ticked only; a grayed box set from code
// ticks on its first click.
class TwoStateClickBox : public QCheckBox
{
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }
};

// Frames have no title. Their first control stands on the top edge and is
// opaque, so it reads as the frame's title.
QGroupBox *makeFrame(QWidget *parent, const QString &name, const TwipsRect &rect)
{
    auto *frame = new QGroupBox(parent);
    frame->setObjectName(name);
    frame->setGeometry(rect.toPixels());
    return frame;
}

QCheckBox *makeCheck(QWidget *frame, int n, const TwipsRect &rect)
{
    auto *box = new TwoStateClickBox(QStringLiteral("№") + QString::number(n), frame);
    box->setObjectName(numbered("Check", n));
    box->setGeometry(rect.toPixels());
    box->setAutoFillBackground(true);
    // The design's boxes are 12 pixels high: a smaller tick square keeps its border whole.
    box->setStyleSheet(QStringLiteral("QCheckBox::indicator { width: 11px; height: 11px; }"));
    return box;
}

QLineEdit *makeTextBox(QWidget *parent, int n, const TwipsRect &rect)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(numbered("Text", n));
    box->setGeometry(rect.toPixels());
    // A stored path or pause of any length is shown, and written back, whole.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption, const TwipsRect &rect)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(rect.toPixels());
    // Enter presses the push button that has the focus.
    button->setAutoDefault(true);
    return button;
}

QLabel *makeLabel(QWidget *parent, const char *name, const char16_t *caption, const TwipsRect &rect)
{
    auto *label = new QLabel(designText(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rect.toPixels());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setAutoFillBackground(true);
    return label;
}

} // namespace

// The proportional gothic both windows share, at the desktop's size, the same
// in every session language.
void Form2::useWindowFont()
{
    setFont(captionFont());
}

// Controls are made in tab order, which is the order the focus follows:
// ok2, Cancel2, Save, the slots' check box, path box and browse button,
// Check6, Check7, Text6.
void Form2::createControls()
{
    useWindowFont();
    Label1 = makeLabel(this, "Label1", kLabel1Text, kLabel1);
    createButtons();
    for (int slot = 1; slot <= 5; ++slot)
        createSlot(slot);
    createCleanUps();
    createPause();
}

void Form2::createSlot(int slot)
{
    QGroupBox *frame = makeFrame(this, numbered("Frame", slot), slotFrame(slot));
    Frame[slot] = frame;
    Check[slot] = makeCheck(frame, slot, slotCheck(slot));
    Text[slot] = makeTextBox(frame, slot, kSlotText);
    sansyou[slot] = makeButton(frame, numbered("sansyou", slot), designText(kBrowseText), slotBrowse(slot));
}

void Form2::createCleanUps()
{
    Frame[6] = makeFrame(this, numbered("Frame", 6), kFrame6);
    Check[6] = makeCheck(Frame[6], 6, kCheck6);
    Label4 = makeLabel(Frame[6], "Label4", kLabel4Text, kLabel4);

    Frame[7] = makeFrame(this, numbered("Frame", 7), kFrame7);
    Check[7] = makeCheck(Frame[7], 7, kCheck7);
    Label5 = makeLabel(Frame[7], "Label5", kLabel5Text, kLabel5);
}

// The seconds box and its unit stand on the top edge of Frame8. Numbers read
// best right-aligned; the box takes any length, so that no stored pause is cut
// short when the box is filled, and apply refuses what is not a whole number.
void Form2::createPause()
{
    Frame[8] = makeFrame(this, numbered("Frame", 8), kFrame8);
    // "秒" overlaps the box by two pixels; the box is made later, so it stays on top.
    Label3 = makeLabel(Frame[8], "Label3", kLabel3Text, kLabel3);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label2 = makeLabel(Frame[8], "Label2", kLabel2Text, kLabel2);
    Text[6] = makeTextBox(Frame[8], 6, kText6);
    Text[6]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void Form2::createButtons()
{
    ok2 = makeButton(this, QStringLiteral("ok2"), QStringLiteral("OK"), kOk2);
    Cancel2 = makeButton(this, QStringLiteral("Cancel2"), QStringLiteral("Cancel"), kCancel2);
    Save = makeButton(this, QStringLiteral("Save"), designText(kSaveText), kSave);
    // Enter presses Save while it is enabled (keyPressEvent); it shows as the default.
    Save->setDefault(true);
    Save->setEnabled(false);
}

} // namespace quenby
