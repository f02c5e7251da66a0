// The window's stored design is the form ServerFrm.ui; this is what a form cannot hold: the
// stand-ins for the design's Windows fonts, its frames' look, the masked fields' behaviour and
// the width of the list's one column.

#include "app/ServerFrm.h"

#include "ui_ServerFrm.h"

#include "codes/CodeListView.h"
#include "views/LogPane.h"
#include "app/MaskedField.h"

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

constexpr int kTwipsPerPixel = 15;

int pixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// A frame as the design draws it: a thin border with the caption standing on its top edge,
// half the caption's height below the frame's top.
void drawCaptionOnBorder(QGroupBox& frame)
{
    const int half = QFontMetrics(frame.font()).height() / 2;
    frame.setStyleSheet(
        QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: %1px; }"
                       "QGroupBox::title { subcontrol-origin: margin; left: 6px;"
                       " padding: 0 2px; }")
            .arg(half));
}

} // namespace

void ServerFrm::loadDesign()
{
    // The design's fonts are Windows fonts; their nearest look-alikes stand in for them.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans")});
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));

    Ui::ServerFrm design;
    design.setupUi(this);
    Frame1 = design.Frame1;
    Frame2 = design.Frame2;
    Frame3 = design.Frame3;
    Frame4 = design.Frame4;
    Frame5 = design.Frame5;
    Label1 = design.Label1;
    Label2 = design.Label2;
    Label3 = design.Label3;
    Label4 = design.Label4;
    Label5 = design.Label5;
    Label6 = design.Label6;
    Label7 = design.Label7;
    Label8 = design.Label8;
    txtPort = design.txtPort;
    txtIP = design.txtIP;
    txtPort2 = design.txtPort2;
    MaskEdBox1 = design.MaskEdBox1;
    MaskEdBox2 = design.MaskEdBox2;
    MaskEdBox3 = design.MaskEdBox3;
    MaskEdBox4 = design.MaskEdBox4;
    MaskEdBox5 = design.MaskEdBox5;
    MaskEdBox6 = design.MaskEdBox6;
    txtSend = design.txtSend;
    txtSend2 = design.txtSend2;
    Text1 = design.Text1;
    Text2 = design.Text2;
    Text3 = design.Text3;
    Text4 = design.Text4;
    bntListen = design.bntListen;
    bntSend = design.bntSend;
    bntConnect = design.bntConnect;
    Command1 = design.Command1;
    bntSend2 = design.bntSend2;
    Command2 = design.Command2;
    Command3 = design.Command3;
    Command4 = design.Command4;
    Command5 = design.Command5;
    Command6 = design.Command6;
    Option1 = design.Option1;
    Option2 = design.Option2;
    Option3 = design.Option3;
    Option4 = design.Option4;
    Option5 = design.Option5;
    ListView1 = design.ListView1;

    // Where none of the stand-ins is installed, a sans-serif font is the nearest.
    QFont windowFont = font();
    windowFont.setStyleHint(QFont::SansSerif);
    setFont(windowFont);

    // The form marks each masked field with its mask, in the design's notation ("#" per digit
    // place, "" for none); its maximum length is the field's own.
    for (QLineEdit* field : findChildren<QLineEdit*>()) {
        const QVariant mask = field->property("mask");
        if (mask.isValid())
            makeMaskedField(*field, mask.toString(), field->maxLength());
    }
    for (QGroupBox* frame : {Frame1, Frame2, Frame3, Frame4, Frame5})
        drawCaptionOnBorder(*frame);
    // The column is narrower than the list by the room of a vertical scroll bar.
    ListView1->setColumnWidth(pixels(12500));
}
