// The window's stored design is the form ServerFrm.ui; this is what a form cannot hold: the
// stand-ins for the design's Windows fonts, its frames' look, the masked fields' behaviour,
// the width of the list's one column, and the lamps beside the link frames' captions.

#include "app/ServerFrm.h"

#include "ui_ServerFrm.h"

#include "app/MaskedField.h"
#include "codes/CodeListView.h"
#include "views/LogPane.h"
#include "views/StateLight.h"

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

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

// A lamp right after the frame's caption, on the frame's top border: it moves nothing of the
// design and covers none of it.
StateLight* lampBesideCaption(QGroupBox& frame, const QString& objectName,
                              const QString& accessibleName)
{
    QStyleOptionGroupBox option;
    option.initFrom(&frame);
    option.text = frame.title();
    option.textAlignment = frame.alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect caption = frame.style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                        QStyle::SC_GroupBoxLabel, &frame);
    auto* lamp = new StateLight(&frame);
    lamp->setObjectName(objectName);
    lamp->setAccessibleName(accessibleName);
    const QSize size = lamp->sizeHint();
    // A space's width after the caption, as a word would stand.
    const int gap = QFontMetrics(frame.font()).horizontalAdvance(u' ');
    lamp->setGeometry(
        QRect(QPoint(caption.right() + gap, caption.center().y() - size.height() / 2), size));
    return lamp;
}

} // namespace

void ServerFrm::loadDesign()
{
    // The design's fonts are Windows fonts; their nearest look-alikes stand in for them. None
    // has the control pictures an outgoing box shows (␂ for STX): Symbola draws each as its
    // boxed abbreviation, and is asked before whatever other font the machine has them in.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Symbola")});
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));

    m_ui = std::make_unique<Ui::ServerFrm>();
    m_ui->setupUi(this);

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
    for (QGroupBox* frame : {m_ui->Frame1, m_ui->Frame2, m_ui->Frame3, m_ui->Frame4, m_ui->Frame5})
        drawCaptionOnBorder(*frame);
    m_serverLight = lampBesideCaption(*m_ui->Frame1, QStringLiteral("serverLight"),
                                      QStringLiteral("Estado del servidor"));
    m_clientLight = lampBesideCaption(*m_ui->Frame2, QStringLiteral("clientLight"),
                                      QStringLiteral("Estado del cliente"));
    m_serialLight = lampBesideCaption(*m_ui->Frame3, QStringLiteral("serialLight"),
                                      QStringLiteral("Estado del puerto serie"));
    // The column is narrower than the list by the room of a vertical scroll bar.
    m_ui->ListView1->setColumnWidth(pixels(12500));
}
