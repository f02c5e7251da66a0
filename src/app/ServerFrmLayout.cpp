// The stored design of the window: every visible control, its container, caption, place and
// size in twips, tab index and settings, in one table that buildFromLayout applies.

#include "app/ServerFrm.h"

#include "codes/CodeListView.h"
#include "platform/LogPane.h"
#include "platform/MaskedField.h"

#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <limits>
#include <type_traits>
#include <vector>

namespace {

enum class Kind { Frame, Label, MaskedField, TextBox, LogPane, Button, Option, List };

struct ControlDesign {
    QWidget* (*create)(ServerFrm&, QWidget*);
    const char16_t* name;
    Kind kind;
    QGroupBox* ServerFrm::*container; // nullptr: stands on the window
    const char16_t* caption;
    int left, top, width, height; // twips, from the container's top-left corner
    int tabIndex;
    const char16_t* mask = nullptr; // masked fields: "#" per digit place, "" for none
    int maxLength = 0;
    const char16_t* hint = nullptr;
};

constexpr int kTwipsPerPixel = 15;

int pixels(int twips)
{
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// Every attribute is set, so that a control given this font keeps all of it and inherits
// nothing (the boldness of its frame's caption, say).
QFont designFont(const QString& family, int pointSize, QFont::Weight weight)
{
    QFont font(family, pointSize, weight);
    font.setStyleHint(QFont::SansSerif);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QFont windowFont()
{
    return designFont(QStringLiteral("MS Sans Serif"), 8, QFont::Normal);
}

QFont captionFont(const QString& family)
{
    return designFont(family, 12, QFont::Bold);
}

// A frame as the design draws it: a thin border with the caption standing on its top edge.
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

// Creates the member a table row names, with the member's own type.
struct ServerFrmLayout {
    template <auto Member> static QWidget* make(ServerFrm& form, QWidget* container)
    {
        using Widget = std::remove_pointer_t<std::remove_reference_t<decltype(form.*Member)>>;
        auto* widget = new Widget(container);
        form.*Member = widget;
        return widget;
    }

    static const std::vector<ControlDesign>& table();
};

#define CONTROL(member) &ServerFrmLayout::make<&ServerFrm::member>, u"" #member

const std::vector<ControlDesign>& ServerFrmLayout::table()
{
    using K = Kind;
    constexpr QGroupBox* ServerFrm::*window = nullptr;
    constexpr auto frame1 = &ServerFrm::Frame1;
    constexpr auto frame2 = &ServerFrm::Frame2;
    constexpr auto frame3 = &ServerFrm::Frame3;
    constexpr auto frame4 = &ServerFrm::Frame4;
    constexpr auto frame5 = &ServerFrm::Frame5;
    static const std::vector<ControlDesign> rows = {
        // On the window. Frames come first: they hold the rest.
        {CONTROL(Frame1), K::Frame, window, u"SERVER", 0, 0, 5055, 4215, 21},
        {CONTROL(Frame2), K::Frame, window, u"CLIENTE", 5160, 0, 4695, 4215, 17},
        {CONTROL(Frame3), K::Frame, window, u"Puerto Serial", 9960, 0, 4815, 4215, 23},
        {CONTROL(ListView1), K::List, window, nullptr, 120, 4440, 12735, 4215, 35},
        {CONTROL(Frame5), K::Frame, window, u"Tipo de Protocolo", 13200, 4320, 1575, 975, 40},
        {CONTROL(Frame4), K::Frame, window, u"Códigos ASCII", 13080, 5400, 1695, 1335, 36},
        {CONTROL(MaskEdBox6), K::MaskedField, window, nullptr, 13080, 6840, 495, 375, 34, u"###",
         3},
        {CONTROL(Command5), K::Button, window, u"Chr", 13680, 6840, 975, 375, 33},

        // "SERVER": the server endpoint.
        {CONTROL(Label2), K::Label, frame1, u"Escuchar en el puerto", 120, 360, 1920, 255, 22},
        {CONTROL(txtPort), K::MaskedField, frame1, nullptr, 2400, 240, 735, 375, 0, u"#####", 5},
        {CONTROL(bntListen), K::Button, frame1, u"Poner a la escucha", 3240, 240, 1695, 375, 1},
        {CONTROL(Text3), K::LogPane, frame1, nullptr, 120, 720, 4815, 2895, 30},
        {CONTROL(txtSend), K::TextBox, frame1, nullptr, 120, 3720, 3855, 285, 2},
        {CONTROL(bntSend), K::Button, frame1, u"Enviar", 4080, 3720, 855, 255, 3},

        // "CLIENTE": the client endpoint.
        {CONTROL(Label4), K::Label, frame2, u"IP Remota", 120, 360, 855, 255, 20},
        {CONTROL(txtIP), K::MaskedField, frame2, nullptr, 960, 240, 1935, 375, 4, u"", 15},
        {CONTROL(Label5), K::Label, frame2, u"Puerto", 3120, 360, 495, 255, 19},
        {CONTROL(txtPort2), K::MaskedField, frame2, nullptr, 3720, 240, 735, 375, 5, u"#####", 5},
        {CONTROL(bntConnect), K::Button, frame2, u"Conectar", 240, 720, 855, 375, 6},
        {CONTROL(Command1), K::Button, frame2, u"Desconectar", 1200, 720, 1095, 375, 18},
        {CONTROL(Text4), K::LogPane, frame2, nullptr, 120, 1200, 4455, 2415, 31},
        {CONTROL(txtSend2), K::TextBox, frame2, nullptr, 120, 3720, 3495, 285, 7},
        {CONTROL(bntSend2), K::Button, frame2, u"Enviar", 3720, 3720, 855, 255, 8},

        // "Puerto Serial": Com, Vel, Dat, Par, Bits.
        {CONTROL(Label1), K::Label, frame3, u"Com", 120, 360, 495, 255, 24},
        {CONTROL(MaskEdBox1), K::MaskedField, frame3, nullptr, 480, 240, 375, 375, 9, u"###", 3},
        {CONTROL(Label8), K::Label, frame3, u"Vel", 960, 360, 255, 255, 28},
        {CONTROL(MaskEdBox5), K::MaskedField, frame3, nullptr, 1320, 240, 735, 375, 10, u"######",
         6},
        {CONTROL(Label3), K::Label, frame3, u"Dat", 2160, 360, 255, 255, 25},
        {CONTROL(MaskEdBox2), K::MaskedField, frame3, nullptr, 2520, 240, 375, 375, 11, u"#", 1},
        {CONTROL(Label6), K::Label, frame3, u"Par", 3000, 360, 255, 255, 26},
        {CONTROL(MaskEdBox3), K::MaskedField, frame3, nullptr, 3360, 240, 375, 375, 12, u"#", 1,
         u"Paridad: 0 ninguna, 1 par, 2 impar, 3 marca, 4 espacio"},
        {CONTROL(Label7), K::Label, frame3, u"Bits", 3840, 360, 255, 255, 27},
        {CONTROL(MaskEdBox4), K::MaskedField, frame3, nullptr, 4200, 240, 375, 375, 13, u"#", 1},
        {CONTROL(Command2), K::Button, frame3, u"Conectar", 240, 720, 975, 375, 14},
        {CONTROL(Command4), K::Button, frame3, u"Desconectar", 1320, 720, 1095, 375, 32},
        {CONTROL(Command6), K::Button, frame3, u"Limpiar", 3840, 840, 735, 255, 43},
        {CONTROL(Text2), K::LogPane, frame3, nullptr, 120, 1200, 4575, 2415, 29},
        {CONTROL(Text1), K::TextBox, frame3, nullptr, 120, 3720, 3615, 285, 15},
        {CONTROL(Command3), K::Button, frame3, u"Enviar", 3840, 3720, 855, 255, 16},

        // "Tipo de Protocolo": the transport.
        {CONTROL(Option1), K::Option, frame5, u"TCP", 120, 360, 735, 255, 41},
        {CONTROL(Option2), K::Option, frame5, u"UDP", 120, 600, 855, 255, 42},

        // "Códigos ASCII": where "Chr" puts its character.
        {CONTROL(Option3), K::Option, frame4, u"Server Text", 240, 240, 1335, 255, 37},
        {CONTROL(Option4), K::Option, frame4, u"Client Text", 240, 600, 1335, 255, 38},
        {CONTROL(Option5), K::Option, frame4, u"Serial Port", 240, 960, 1095, 255, 39},
    };
    return rows;
}

#undef CONTROL

void ServerFrm::buildFromLayout()
{
    // The design's fonts are Windows fonts; their nearest look-alikes stand in for them.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                QStringLiteral("Liberation Sans")});
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));

    const QFont font = windowFont();
    setFont(font);
    setWindowTitle(QStringLiteral("Servidor"));
    resize(pixels(14910), pixels(8805));

    std::vector<std::pair<int, QWidget*>> tabOrder;
    for (const ControlDesign& design : ServerFrmLayout::table()) {
        QWidget* container =
            design.container ? static_cast<QWidget*>(this->*design.container) : this;
        QWidget* widget = design.create(*this, container);
        widget->setObjectName(QString::fromUtf16(design.name));
        widget->setGeometry(pixels(design.left), pixels(design.top), pixels(design.width),
                            pixels(design.height));
        // Only a frame's caption has a font of its own: what stands in a frame keeps the
        // window's font, where Qt would hand it the frame's.
        widget->setFont(font);
        const QString caption = design.caption ? QString::fromUtf16(design.caption) : QString();
        if (design.hint)
            widget->setToolTip(QString::fromUtf16(design.hint));

        switch (design.kind) {
        case Kind::Frame:
            static_cast<QGroupBox*>(widget)->setTitle(caption);
            break;
        case Kind::Label:
            static_cast<QLabel*>(widget)->setText(caption);
            static_cast<QLabel*>(widget)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            break;
        case Kind::Button:
        case Kind::Option:
            static_cast<QAbstractButton*>(widget)->setText(caption);
            break;
        case Kind::MaskedField:
            makeMaskedField(*static_cast<QLineEdit*>(widget), QStringView(design.mask),
                            design.maxLength);
            break;
        case Kind::TextBox:
            // No cap on what the operator may paste to send.
            static_cast<QLineEdit*>(widget)->setMaxLength(std::numeric_limits<int>::max());
            break;
        case Kind::LogPane:
        case Kind::List:
            break;
        }
        tabOrder.emplace_back(design.tabIndex, widget);
    }

    Frame1->setFont(captionFont(QStringLiteral("Arial")));
    Frame2->setFont(captionFont(QStringLiteral("Arial")));
    Frame3->setFont(captionFont(QStringLiteral("MS Sans Serif")));
    for (QGroupBox* frame : {Frame1, Frame2, Frame3, Frame4, Frame5})
        drawCaptionOnBorder(*frame);
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    ListView1->setColumnWidth(pixels(12500));
    nameForAssistiveTechnology();

    std::sort(tabOrder.begin(), tabOrder.end());
    QWidget* previous = nullptr;
    for (const auto& [index, widget] : tabOrder) {
        if (widget->focusPolicy() == Qt::NoFocus)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

void ServerFrm::nameForAssistiveTechnology()
{
    // Each field is named by the label before it; without that, Qt names a field after the
    // caption of its frame ("SERVER") and the five serial fields all read "Puerto Serial".
    for (const auto& [label, field] : {std::pair{Label2, txtPort},
                                       {Label4, txtIP},
                                       {Label5, txtPort2},
                                       {Label1, MaskEdBox1},
                                       {Label8, MaskEdBox5},
                                       {Label3, MaskEdBox2},
                                       {Label6, MaskEdBox3},
                                       {Label7, MaskEdBox4}})
        label->setBuddy(field);
    // What has no label of its own.
    const std::pair<QWidget*, const char16_t*> names[] = {
        {Text3, u"Registro del servidor"},      {txtSend, u"Texto a enviar del servidor"},
        {Text4, u"Registro del cliente"},       {txtSend2, u"Texto a enviar del cliente"},
        {Text2, u"Registro del puerto serial"}, {Text1, u"Texto a enviar por el puerto serial"},
        {MaskEdBox6, u"Código ASCII"},          {ListView1, u"ASCII"},
    };
    for (const auto& [widget, name] : names)
        widget->setAccessibleName(QString::fromUtf16(name));
}
