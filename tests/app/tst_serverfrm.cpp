#include "app/SpanishQt.h"
#include "base/ControlError.h"
#include "codes/CodeList.h"
#include "codes/CodeListView.h"
#include "support/ByteSamples.h"
#include "support/Saving.h"
#include "support/SerialBench.h"
#include "support/WindowUnderTest.h"
#include "support/peers/Loopback.h"
#include "views/FileSave.h"
#include "views/LogPane.h"
#include "views/OutgoingText.h"
#include "views/ViewActions.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUdpSocket>

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

// The stored design: each control's kind, container, caption, place and size in twips (15 to
// a pixel), tab index, and for the text fields mask and length. A frame's font is its
// caption's alone: what stands in the frame keeps the window's.
struct DesignFont {
    const char* family;
    int pointSize;
    bool bold;
};
constexpr DesignFont kWindowFont{"MS Sans Serif", 8, false};
constexpr DesignFont kArialCaption{"Arial", 12, true};
constexpr DesignFont kSerialCaption{"MS Sans Serif", 12, true};
constexpr int kNoLimit = std::numeric_limits<int>::max();

struct DesignedControl {
    const char* name;
    const char* kind;
    const char* container;
    const char16_t* caption;
    int left, top, width, height;
    int tabIndex;
    const char* mask = ""; // "#" per digit place
    int maxLength = 0;
    DesignFont font = kWindowFont;
};

constexpr DesignedControl kDesign[] = {
    {"Frame1", "QGroupBox", "ServerFrm", u"SERVER", 0, 0, 5055, 4215, 21, "", 0, kArialCaption},
    {"Frame2", "QGroupBox", "ServerFrm", u"CLIENTE", 5160, 0, 4695, 4215, 17, "", 0, kArialCaption},
    {"Frame3", "QGroupBox", "ServerFrm", u"Puerto Serial", 9960, 0, 4815, 4215, 23, "", 0,
     kSerialCaption},
    {"ListView1", "CodeListView", "ServerFrm", u"", 120, 4440, 12735, 4215, 35},
    {"Frame5", "QGroupBox", "ServerFrm", u"Tipo de Protocolo", 13200, 4320, 1575, 975, 40},
    {"Frame4", "QGroupBox", "ServerFrm", u"Códigos ASCII", 13080, 5400, 1695, 1335, 36},
    {"MaskEdBox6", "QLineEdit", "ServerFrm", u"", 13080, 6840, 495, 375, 34, "###", 3},
    {"Command5", "QPushButton", "ServerFrm", u"Chr", 13680, 6840, 975, 375, 33},

    {"Label2", "QLabel", "Frame1", u"Escuchar en el puerto", 120, 360, 1920, 255, 22},
    {"txtPort", "QLineEdit", "Frame1", u"", 2400, 240, 735, 375, 0, "#####", 5},
    {"bntListen", "QPushButton", "Frame1", u"Poner a la escucha", 3240, 240, 1695, 375, 1},
    {"Text3", "LogPane", "Frame1", u"", 120, 720, 4815, 2895, 30},
    {"txtSend", "QLineEdit", "Frame1", u"", 120, 3720, 3855, 285, 2, "", kNoLimit},
    {"bntSend", "QPushButton", "Frame1", u"Enviar", 4080, 3720, 855, 255, 3},

    {"Label4", "QLabel", "Frame2", u"IP Remota", 120, 360, 855, 255, 20},
    {"txtIP", "QLineEdit", "Frame2", u"", 960, 240, 1935, 375, 4, "", 253},
    {"Label5", "QLabel", "Frame2", u"Puerto", 3120, 360, 495, 255, 19},
    {"txtPort2", "QLineEdit", "Frame2", u"", 3720, 240, 735, 375, 5, "#####", 5},
    {"bntConnect", "QPushButton", "Frame2", u"Conectar", 240, 720, 855, 375, 6},
    {"Command1", "QPushButton", "Frame2", u"Desconectar", 1200, 720, 1095, 375, 18},
    {"Text4", "LogPane", "Frame2", u"", 120, 1200, 4455, 2415, 31},
    {"txtSend2", "QLineEdit", "Frame2", u"", 120, 3720, 3495, 285, 7, "", kNoLimit},
    {"bntSend2", "QPushButton", "Frame2", u"Enviar", 3720, 3720, 855, 255, 8},

    {"Label1", "QLabel", "Frame3", u"Com", 120, 360, 495, 255, 24},
    {"MaskEdBox1", "QLineEdit", "Frame3", u"", 480, 240, 375, 375, 9, "###", 3},
    {"Label8", "QLabel", "Frame3", u"Vel", 960, 360, 255, 255, 28},
    {"MaskEdBox5", "QLineEdit", "Frame3", u"", 1320, 240, 735, 375, 10, "######", 6},
    {"Label3", "QLabel", "Frame3", u"Dat", 2160, 360, 255, 255, 25},
    {"MaskEdBox2", "QLineEdit", "Frame3", u"", 2520, 240, 375, 375, 11, "#", 1},
    {"Label6", "QLabel", "Frame3", u"Par", 3000, 360, 255, 255, 26},
    {"MaskEdBox3", "QLineEdit", "Frame3", u"", 3360, 240, 375, 375, 12, "#", 1},
    {"Label7", "QLabel", "Frame3", u"Bits", 3840, 360, 255, 255, 27},
    {"MaskEdBox4", "QLineEdit", "Frame3", u"", 4200, 240, 375, 375, 13, "#", 1},
    {"Command2", "QPushButton", "Frame3", u"Conectar", 240, 720, 975, 375, 14},
    {"Command4", "QPushButton", "Frame3", u"Desconectar", 1320, 720, 1095, 375, 32},
    {"Command6", "QPushButton", "Frame3", u"Limpiar", 3840, 840, 735, 255, 43},
    {"Text2", "LogPane", "Frame3", u"", 120, 1200, 4575, 2415, 29},
    {"Text1", "QLineEdit", "Frame3", u"", 120, 3720, 3615, 285, 15, "", kNoLimit},
    {"Command3", "QPushButton", "Frame3", u"Enviar", 3840, 3720, 855, 255, 16},

    {"Option1", "QRadioButton", "Frame5", u"TCP", 120, 360, 735, 255, 41},
    {"Option2", "QRadioButton", "Frame5", u"UDP", 120, 600, 855, 255, 42},

    {"Option3", "QRadioButton", "Frame4", u"Server Text", 240, 240, 1335, 255, 37},
    {"Option4", "QRadioButton", "Frame4", u"Client Text", 240, 600, 1335, 255, 38},
    {"Option5", "QRadioButton", "Frame4", u"Serial Port", 240, 960, 1095, 255, 39},
};

int pixels(int twips)
{
    return (twips + 7) / 15;
}

// The window's pixels over a control and a little around it, where a focus frame is drawn.
QImage around(ServerFrm& w, const QWidget& control)
{
    const QRect area(control.mapTo(&w, QPoint(0, 0)), control.size());
    return w.grab(area.adjusted(-3, -3, 3, 3)).toImage();
}

QAccessibleInterface* accessible(QWidget* widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

QAction* actionOf(QWidget& view, const QString& text)
{
    for (QAction* action : view.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// What each view shows: the panes' bytes, the list's rows as copied, one per line.
QMap<QString, QByteArray> shownByEachView(ServerFrm& w)
{
    QByteArray rows;
    const QAbstractItemModel& list = *w.controls().ListView1->model();
    for (int row = 0; row < list.rowCount(); ++row)
        rows += list.index(row, 0).data(Qt::EditRole).toString().toLatin1() + '\n';
    return {{u"Text3"_qs, w.controls().Text3->bytes()},
            {u"Text4"_qs, w.controls().Text4->bytes()},
            {u"Text2"_qs, w.controls().Text2->bytes()},
            {u"ListView1"_qs, rows}};
}

// Types text key by key as a keyboard sends it: a character no QTest key names ("²", "٣")
// comes as a key event with its text alone.
void typeKeys(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), {});
    }
}

// Chooses "Paste" in a field's context menu.
void pasteFromMenu(QLineEdit& field)
{
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                            field.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&field, &click);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    const QList<QAction*> entries = menu->actions();
    const auto paste = std::find_if(entries.begin(), entries.end(), [](const QAction* entry) {
        return entry->text().startsWith(QLineEdit::tr("&Paste"));
    });
    QVERIFY(paste != entries.end());
    (*paste)->trigger();
    menu->close();
}

// A host name of the longest length there is, 253 characters.
QString longestHostName()
{
    QStringList labels(4, QString(62, u'a'));
    labels.append(QString(253 - 4 * 63, u'b'));
    return labels.join(u'.');
}

} // namespace

class TestServerFrm : public QObject {
    Q_OBJECT

private slots:
    void theWindowOpensAsDesigned()
    {
        WindowUnderTest w;
        QCOMPARE(w->windowTitle(), QStringLiteral("Servidor"));
        QCOMPARE(w->size(), QSize(994, 587));
        QCOMPARE(w->findChildren<QWidget*>(QString(), Qt::FindChildrenRecursively).size() >= 44,
                 true);
        QCOMPARE(QApplication::focusWidget(), w.ui->txtPort);

        for (QLineEdit* box :
             {w.ui->txtPort, w.ui->txtIP, w.ui->txtPort2, w.ui->MaskEdBox1, w.ui->MaskEdBox2,
              w.ui->MaskEdBox3, w.ui->MaskEdBox4, w.ui->MaskEdBox5, w.ui->MaskEdBox6, w.ui->txtSend,
              w.ui->txtSend2, w.ui->Text1})
            QCOMPARE(box->text(), QString());
        for (LogPane* pane : {w.ui->Text2, w.ui->Text3, w.ui->Text4})
            QCOMPARE(pane->length(), 0);
        for (QRadioButton* option :
             {w.ui->Option1, w.ui->Option2, w.ui->Option3, w.ui->Option4, w.ui->Option5})
            QVERIFY(!option->isChecked());
        QCOMPARE(w->codeList().rowCount(), 0);
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
    }

    void everyControlIsWhereTheDesignPutsIt_data()
    {
        QTest::addColumn<int>("row");
        for (int row = 0; row < int(std::size(kDesign)); ++row)
            QTest::newRow(kDesign[row].name) << row;
    }
    void everyControlIsWhereTheDesignPutsIt()
    {
        QFETCH(int, row);
        const DesignedControl& design = kDesign[row];
        WindowUnderTest w;
        auto* control = w->findChild<QWidget*>(QLatin1StringView(design.name));
        QVERIFY(control);
        QCOMPARE(control->metaObject()->className(), design.kind);
        QCOMPARE(control->parentWidget()->objectName(), QLatin1StringView(design.container));
        QCOMPARE(control->geometry(), QRect(pixels(design.left), pixels(design.top),
                                            pixels(design.width), pixels(design.height)));

        const QString caption = QString::fromUtf16(design.caption);
        if (auto* frame = qobject_cast<QGroupBox*>(control))
            QCOMPARE(frame->title(), caption);
        else if (auto* label = qobject_cast<QLabel*>(control))
            QCOMPARE(label->text(), caption);
        else if (auto* button = qobject_cast<QAbstractButton*>(control))
            QCOMPARE(button->text(), caption);
        else
            QCOMPARE(caption, QString());

        QCOMPARE(control->font().family(), QLatin1StringView(design.font.family));
        QCOMPARE(control->font().pointSize(), design.font.pointSize);
        QCOMPARE(control->font().bold(), design.font.bold);

        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            QCOMPARE(edit->maxLength(), design.maxLength);
            // An untouched masked field shows a blank "_" in each digit place.
            const QString mask = QLatin1StringView(design.mask);
            QCOMPARE(edit->displayText(), QString(mask.size(), u'_'));
        }

        // Each focusable control hands the focus on to the next one by tab index, the last
        // back to the first; frames and labels never take it.
        const auto focusable = [](const DesignedControl& c) {
            return qstrcmp(c.kind, "QGroupBox") != 0 && qstrcmp(c.kind, "QLabel") != 0;
        };
        QCOMPARE(bool(control->focusPolicy() & Qt::TabFocus), focusable(design));
        if (!focusable(design))
            return;
        const DesignedControl* next = nullptr;
        for (int step = 1; !next; ++step) {
            const int index = (design.tabIndex + step) % int(std::size(kDesign));
            for (const DesignedControl& other : kDesign) {
                if (other.tabIndex == index && focusable(other))
                    next = &other;
            }
        }
        QWidget* after = control->nextInFocusChain();
        while (!(after->focusPolicy() & Qt::TabFocus))
            after = after->nextInFocusChain();
        QCOMPARE(after->objectName(), QLatin1StringView(next->name));
    }

    // Tab walks every focusable control in the designed order, back round to the first, and
    // at every stop the control looks different while it has the focus. A group of options is
    // one stop, as on every desktop: the arrow keys move within it.
    void tabWalksTheDesignedOrderShowingWhereTheFocusIs()
    {
        WindowUnderTest w;
        const QStringList expected = {
            "bntListen",  "txtSend",  "bntSend",    "txtIP",      "txtPort2",   "bntConnect",
            "txtSend2",   "bntSend2", "MaskEdBox1", "MaskEdBox5", "MaskEdBox2", "MaskEdBox3",
            "MaskEdBox4", "Command2", "Text1",      "Command3",   "Command1",   "Text2",
            "Text3",      "Text4",    "Command4",   "Command5",   "MaskEdBox6", "ListView1",
            "Option3",    "Option1",  "Command6",   "txtPort",
        };
        QCOMPARE(QApplication::focusWidget(), w.ui->txtPort);
        for (const QString& next : expected) {
            QWidget* stop = QApplication::focusWidget();
            const QImage focused = around(*w, *stop);
            QTest::keyClick(stop, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
            QVERIFY2(around(*w, *stop) != focused,
                     qPrintable(stop->objectName() + QStringLiteral(" does not show the focus")));
        }
    }

    void maskedFieldsTakeOnlyWhatTheirMaskAllows_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("value");
        QTest::newRow("port: digits only") << "txtPort"
                                           << "a1b2"
                                           << "12";
        QTest::newRow("port: five exactly") << "txtPort"
                                            << "6000"
                                            << "6000";
        QTest::newRow("port: five at most") << "txtPort2"
                                            << "1234567"
                                            << "12345";
        QTest::newRow("speed: six, not seven") << "MaskEdBox5"
                                               << "9216001"
                                               << "921600";
        QTest::newRow("data bits: one") << "MaskEdBox2"
                                        << "87"
                                        << "8";
        QTest::newRow("parity: one") << "MaskEdBox3"
                                     << "x4"
                                     << "4";
        QTest::newRow("stop bits: one") << "MaskEdBox4"
                                        << "12"
                                        << "1";
        QTest::newRow("com port: three") << "MaskEdBox1"
                                         << "0035"
                                         << "003";
        QTest::newRow("code: no letters") << "MaskEdBox6"
                                          << "A"
                                          << "";
        QTest::newRow("address: 253 characters")
            << "txtIP" << longestHostName() + u'x' << longestHostName();
        QTest::newRow("address: names too") << "txtIP"
                                            << "mi-equipo"
                                            << "mi-equipo";
        QTest::newRow("address: a name longer than 15")
            << "txtIP" << u"plc-linea3.local"_qs << u"plc-linea3.local"_qs;
        QTest::newRow("address: a whole IPv6 address")
            << "txtIP" << u"fe80:0000:0000:0000:0204:61ff:fe9d:f156"_qs
            << u"fe80:0000:0000:0000:0204:61ff:fe9d:f156"_qs;
        QTest::newRow("port: no superscript digit") << "txtPort" << u"1²"_qs << u"1"_qs;
        QTest::newRow("code: no Arabic-Indic digit") << "MaskEdBox6" << u"٣"_qs << QString();
        QTest::newRow("speed: no full-width digits") << "MaskEdBox5" << u"９６0"_qs << u"0"_qs;
    }
    void maskedFieldsTakeOnlyWhatTheirMaskAllows()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, value);
        WindowUnderTest w;
        auto* edit = w->findChild<QLineEdit*>(field);
        QVERIFY(edit);
        QCOMPARE(edit->text(), QString());
        edit->setFocus();
        const QColor normal = edit->palette().color(QPalette::Base);
        typeKeys(edit, typed);
        QCOMPARE(edit->text(), value);
        // A refused keystroke is not lost in silence: the field flashes (and beeps).
        const bool refused = typed.size() != value.size();
        QCOMPARE(edit->palette().color(QPalette::Base) != normal, refused);
        QTRY_COMPARE(edit->palette().color(QPalette::Base), normal);
    }

    // Wherever the click lands, in an empty field or after some digits, the digits typed next
    // follow what is there: none is dropped for lack of room after the click.
    void aClickAnywhereThenTypingKeepsEveryDigit_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("there");
        QTest::addColumn<QString>("typed");
        const auto row = [](const char* field, const char* there, const char* typed) {
            QTest::addRow("%s «%s» + «%s»", field, there, typed)
                << QString::fromLatin1(field) << QString::fromLatin1(there)
                << QString::fromLatin1(typed);
        };
        row("txtPort", "", "6000");
        row("txtPort", "6", "0000");
        row("txtPort2", "", "12345");
        row("txtPort2", "12", "3");
        row("MaskEdBox1", "", "5");
        row("MaskEdBox1", "1", "05");
        row("MaskEdBox5", "", "9600");
        row("MaskEdBox5", "1", "15200");
        row("MaskEdBox2", "", "8");
        row("MaskEdBox3", "", "2");
        row("MaskEdBox4", "", "1");
        row("MaskEdBox6", "", "13");
        row("MaskEdBox6", "2", "55");
    }
    void aClickAnywhereThenTypingKeepsEveryDigit()
    {
        QFETCH(QString, field);
        QFETCH(QString, there);
        QFETCH(QString, typed);
        WindowUnderTest w;
        auto* edit = w->findChild<QLineEdit*>(field);
        QVERIFY(edit);
        for (const int x : {2, edit->width() / 3, edit->width() / 2, edit->width() - 3}) {
            edit->setText(there);
            w.ui->bntListen->setFocus(); // the click is what brings the focus in
            QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, edit->height() / 2));
            QCOMPARE(QApplication::focusWidget(), edit);
            QTest::keyClicks(edit, typed);
            QVERIFY2(edit->text() == there + typed,
                     qPrintable(QStringLiteral("clicked at x=%1: %2").arg(x).arg(edit->text())));
        }
    }

    // Pasted text goes in whole or not at all, whichever way it is pasted: what does not fit
    // is refused as a keystroke is, never cut to fit (Qt's own paste would keep what fits).
    void pastedTextGoesInWholeOrNotAtAll_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("there");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("value");
        const QString longest = longestHostName();
        const auto row = [](const char* name, const char* field, const QString& there,
                            const QString& pasted, const char* way, const QString& value) {
            QTest::newRow(name) << QString::fromLatin1(field) << there << pasted
                                << QString::fromLatin1(way) << value;
        };
        row("address: a host name", "txtIP", {}, u"plc-linea3.local"_qs, "Ctrl+V",
            u"plc-linea3.local"_qs);
        row("address: 253 characters", "txtIP", {}, longest, "menu", longest);
        row("address: one too many", "txtIP", {}, longest + u'x', "Ctrl+V", {});
        row("address: too many with what is there", "txtIP", u"plc"_qs, longest.left(251),
            "Shift+Insert", u"plc"_qs);
        row("port: a number with its line end", "txtPort", {}, u" 6000\n"_qs, "Ctrl+V", u"6000"_qs);
        row("port: after what is there", "txtPort", u"60"_qs, u"00"_qs, "menu", u"6000"_qs);
        row("port: six digits", "txtPort", {}, u"123456"_qs, "Ctrl+V", {});
        row("port: too many with what is there", "txtPort2", u"123"_qs, u"456"_qs, "Ctrl+V",
            u"123"_qs);
        row("port: a letter among the digits", "txtPort", {}, u"60a0"_qs, "menu", {});
        row("speed: full-width digits", "MaskEdBox5", {}, u"９６００"_qs, "Ctrl+V", {});
        row("code: a superscript digit", "MaskEdBox6", {}, u"²"_qs, "Shift+Insert", {});
    }
    void pastedTextGoesInWholeOrNotAtAll()
    {
        QFETCH(QString, field);
        QFETCH(QString, there);
        QFETCH(QString, pasted);
        QFETCH(QString, way);
        QFETCH(QString, value);
        WindowUnderTest w;
        auto* edit = w->findChild<QLineEdit*>(field);
        QVERIFY(edit);
        edit->setText(there);
        edit->setFocus();
        edit->setCursorPosition(int(there.size()));
        QApplication::clipboard()->setText(pasted);
        const QColor normal = edit->palette().color(QPalette::Base);
        if (way == u"menu")
            pasteFromMenu(*edit);
        else if (way == u"Shift+Insert")
            QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
        else
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), value);
        QCOMPARE(edit->palette().color(QPalette::Base) != normal, value == there);
        QTRY_COMPARE(edit->palette().color(QPalette::Base), normal);
    }

    // Enter in a field is a click on its frame's button, through the same handler and
    // dispatch: here each is refused for want of a transport, a destination or a value, and
    // says so as the click does. Under UDP "Conectar" cannot be pressed, by Enter neither.
    void enterInAFieldIsItsFramesButton_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("udp");
        const auto row = [](const char* field, const char* button, bool udp) {
            QTest::addRow("%s%s", field, udp ? " under UDP" : "")
                << QString::fromLatin1(field) << QString::fromLatin1(button) << udp;
        };
        row("txtPort", "bntListen", false);
        row("txtIP", "bntConnect", false);
        row("txtPort2", "bntConnect", false);
        row("txtIP", "bntConnect", true);
        row("txtPort2", "bntConnect", true);
        for (const char* serial :
             {"MaskEdBox1", "MaskEdBox5", "MaskEdBox2", "MaskEdBox3", "MaskEdBox4"})
            row(serial, "Command2", false);
        row("MaskEdBox6", "Command5", false);
    }
    void enterInAFieldIsItsFramesButton()
    {
        QFETCH(QString, field);
        QFETCH(QString, button);
        QFETCH(bool, udp);
        WindowUnderTest w;
        if (udp)
            QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        auto* edit = w->findChild<QLineEdit*>(field);
        auto* pressed = w->findChild<QPushButton*>(button);
        QVERIFY(edit && pressed);
        QSignalSpy clicks(pressed, &QAbstractButton::clicked);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(QApplication::focusWidget(), edit);
        QTest::mouseClick(pressed, Qt::LeftButton);
        QCOMPARE(clicks.size(), udp ? 0 : 3);
        QCOMPARE(w.messages->shown.size(), udp ? 0u : 3u);
        if (!udp) {
            QCOMPARE(w.messages->shown[0], w.messages->shown[2]);
            QCOMPARE(w.messages->shown[1], w.messages->shown[2]);
        }
    }

    // Each C0 control and DEL looks its own way at the window's font size, in a log pane and
    // in an outgoing box, and none like a character no font has: on a machine without a font
    // holding the control pictures, every one of them showed as that same empty box.
    void controlBytesLookEachTheirOwnWay()
    {
        WindowUnderTest w;
        LogPane& pane = *w.ui->Text3;
        QLineEdit& box = *w.ui->txtSend;
        const auto inPane = [&pane](QByteArrayView bytes) {
            pane.clear();
            pane.append(bytes);
            return pane.viewport()->grab().toImage();
        };
        const auto inBox = [&box](const QString& text) {
            box.setText(text);
            return box.grab().toImage();
        };
        const QImage nothingInPane = inPane("xx");
        const QImage missingInBox = inBox(u"x\uE000x"_qs);
        QList<int> controls;
        for (int code = 0; code < 0x20; ++code)
            controls << code;
        controls << 0x7F;
        QList<QImage> panes;
        QList<QImage> boxes;
        for (const int code : controls) {
            panes << inPane(QByteArray("x") + char(code) + 'x');
            boxes << inBox(u'x' + OutgoingText::shownAs(QChar(code)) + u'x');
            const QByteArray name = QByteArray::number(code);
            QVERIFY2(panes.back() != nothingInPane, name + " shows nothing in the pane");
            QVERIFY2(boxes.back() != missingInBox, name + " shows as no font's character");
        }
        for (qsizetype i = 0; i < controls.size(); ++i) {
            for (qsizetype j = i + 1; j < controls.size(); ++j) {
                const QByteArray pair =
                    QByteArray::number(controls[i]) + " and " + QByteArray::number(controls[j]);
                QVERIFY2(panes[i] != panes[j], pair + " look alike in the pane");
                QVERIFY2(boxes[i] != boxes[j], pair + " look alike in the box");
            }
        }
    }

    // Enter in an outgoing box is a click on its "Enviar": here each is refused (no transport
    // chosen, serial port closed) and says so the same way. What was refused did not go out,
    // so Up has nothing to recall.
    void enterInAnOutgoingBoxIsItsEnviar_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("enviar");
        QTest::newRow("server") << "txtSend"
                                << "bntSend";
        QTest::newRow("client") << "txtSend2"
                                << "bntSend2";
        QTest::newRow("serial") << "Text1"
                                << "Command3";
    }
    void enterInAnOutgoingBoxIsItsEnviar()
    {
        QFETCH(QString, box);
        QFETCH(QString, enviar);
        WindowUnderTest w;
        auto* edit = w->findChild<QLineEdit*>(box);
        auto* button = w->findChild<QPushButton*>(enviar);
        QVERIFY(edit && button);
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("hola"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(2));
        QCOMPARE(w.messages->shown[0], w.messages->shown[1]);
        QCOMPARE(edit->text(), QStringLiteral("hola"));

        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("otro"));
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QStringLiteral("otro"));
    }

    void hoverHintsShowTheStoredTexts()
    {
        WindowUnderTest w;
        QCOMPARE(w.ui->MaskEdBox3->toolTip(),
                 QStringLiteral("Paridad: 0 ninguna, 1 par, 2 impar, 3 marca, 4 espacio"));
        // The stored "Connect" would call the listen button what it is not.
        QCOMPARE(w.ui->bntListen->toolTip(), QString());
        QCOMPARE(w.ui->bntConnect->toolTip(), QString());
    }

    void resizingMovesNothing()
    {
        WindowUnderTest w;
        const QRect before = w.ui->ListView1->geometry();
        const QRect frame = w.ui->Frame2->geometry();
        w->resize(1400, 900);
        QCoreApplication::processEvents();
        QCOMPARE(w.ui->ListView1->geometry(), before);
        QCOMPARE(w.ui->Frame2->geometry(), frame);
    }

    // Assistive technology reads each control by its label and each view by what it shows.
    void assistiveTechnologyReadsWhatTheWindowShows()
    {
        WindowUnderTest w;
        const std::pair<QWidget*, QString> names[] = {
            {w.ui->txtPort, QStringLiteral("Escuchar en el puerto")},
            {w.ui->txtIP, QStringLiteral("IP Remota")},
            {w.ui->txtPort2, QStringLiteral("Puerto")},
            {w.ui->MaskEdBox1, QStringLiteral("Com")},
            {w.ui->MaskEdBox5, QStringLiteral("Vel")},
            {w.ui->MaskEdBox2, QStringLiteral("Dat")},
            {w.ui->MaskEdBox3, QStringLiteral("Par")},
            {w.ui->MaskEdBox4, QStringLiteral("Bits")},
            {w.ui->MaskEdBox6, QStringLiteral("Código ASCII")},
            {w.ui->Text3, QStringLiteral("Registro del servidor")},
            {w.ui->txtSend, QStringLiteral("Texto a enviar del servidor")},
            {w.ui->Text4, QStringLiteral("Registro del cliente")},
            {w.ui->txtSend2, QStringLiteral("Texto a enviar del cliente")},
            {w.ui->Text2, QStringLiteral("Registro del puerto serial")},
            {w.ui->Text1, QStringLiteral("Texto a enviar por el puerto serial")},
            {w.ui->ListView1, QStringLiteral("ASCII")},
        };
        for (const auto& [widget, name] : names)
            QCOMPARE(accessible(widget)->text(QAccessible::Name), name);

        // Two datagrams, one with a NUL in it, reach the client pane and the code list.
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        const quint16 port = freeUdpPort();
        listenOn(w, port);
        QUdpSocket peer;
        peer.writeDatagram(QByteArray("A\0B", 3), QHostAddress::LocalHost, port);
        QTRY_COMPARE(w->codeList().rowCount(), 1);
        peer.writeDatagram("\x01", QHostAddress::LocalHost, port);
        QTRY_COMPARE(w->codeList().rowCount(), 2);

        // The pane reads as it shows: a NUL is a picture, not the end of the text.
        QAccessibleInterface* pane = accessible(w.ui->Text4);
        const QString shown = QStringLiteral("Servidor : A\u2400B\r\nServidor : \u2401\r\n");
        QCOMPARE(pane->text(QAccessible::Value), shown);
        QCOMPARE(pane->textInterface()->characterCount(), shown.size());
        QCOMPARE(pane->textInterface()->text(11, 14), QStringLiteral("A\u2400B"));

        // The list: a list of its rows, each named by its text; the current row is focused.
        QAccessibleInterface* list = accessible(w.ui->ListView1);
        QCOMPARE(list->role(), QAccessible::List);
        QTRY_COMPARE(list->childCount(), 2);
        QAccessibleTableInterface* table = list->tableInterface();
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->columnCount(), 1);
        QCOMPARE(table->columnDescription(0), QStringLiteral("ASCII"));
        QCOMPARE(list->child(0)->role(), QAccessible::ListItem);
        QCOMPARE(list->child(0)->text(QAccessible::Name), QStringLiteral(",65,0,66"));
        QCOMPARE(list->child(1)->text(QAccessible::Name), QStringLiteral(",1"));
        QCOMPARE(list->indexOfChild(list->child(1)), 1);
        QCOMPARE(list->child(0)->parent(), list);
        QVERIFY(list->child(0)->rect().intersects(list->rect()));
        QVERIFY(!list->focusChild());
        QCOMPARE(table->selectedRowCount(), 0);

        w.ui->ListView1->setFocus();
        QTest::keyClick(w.ui->ListView1, Qt::Key_End);
        QCOMPARE(list->focusChild(), list->child(1));
        QVERIFY(list->child(1)->state().focused);
        QVERIFY(list->child(1)->state().selected);
        QVERIFY(!list->child(0)->state().selected);
        QCOMPARE(table->selectedRows(), QList<int>{1});
        QCOMPARE(list->child(1)->tableCellInterface()->rowIndex(), 1);

        // And it can select a row as an operator would.
        QVERIFY(table->selectRow(0));
        QCOMPARE(w.ui->ListView1->currentIndex().row(), 0);
        QVERIFY(table->isRowSelected(0));
        QVERIFY(!table->isRowSelected(1));
    }

    // Closing ends every link. Nothing is told; only the bytes received are asked about
    // (answered here "Cerrar sin guardar").
    void closingTheWindowEndsEveryLink_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::newRow("nothing ever opened") << false;
        QTest::newRow("every link busy") << true;
    }
    void closingTheWindowEndsEveryLink()
    {
        QFETCH(bool, busy);
        SerialBench bench;
        ServerFrm& w = bench.window();
        QTcpSocket serversPeer;
        QTcpServer clientsPeer;
        QPointer<QTcpSocket> clientsConnection;
        if (busy) {
            const quint16 port = listenUnderTcp(*bench.w);
            serversPeer.connectToHost(QHostAddress::LocalHost, port);
            QTRY_VERIFY(
                w.controls().Text3->text().endsWith(u"Cliente conectado. IP : 127.0.0.1\r\n"));
            QVERIFY(clientsPeer.listen(QHostAddress::LocalHost, 0));
            w.controls().txtIP->setText(QStringLiteral("127.0.0.1"));
            w.controls().txtPort2->setText(QString::number(clientsPeer.serverPort()));
            QTest::mouseClick(w.controls().bntConnect, Qt::LeftButton);
            QTRY_VERIFY(w.controls().Text4->text().endsWith(u"Conectado a 127.0.0.1\r\n"));
            QTRY_VERIFY(clientsPeer.hasPendingConnections());
            clientsConnection = clientsPeer.nextPendingConnection();
            QVERIFY(clientsConnection);
            bench.connect();
            QVERIFY(w.MSComm1->portOpen());

            // Every link has bytes on their way in and out as the window closes.
            serversPeer.write(varied(100'000));
            clientsConnection->write(varied(100'000));
            bench.line.write(varied(1'000));
            for (QLineEdit* box : {w.controls().txtSend, w.controls().txtSend2})
                box->setText(QString(4'000, u'x'));
            QTest::mouseClick(w.controls().bntSend, Qt::LeftButton);
            QTest::mouseClick(w.controls().bntSend2, Qt::LeftButton);
            bench.send(QString(1'000, u'y'));
            QTRY_VERIFY(w.codeList().rowCount() > 0);
        }
        QVERIFY(w.close());
        QCOMPARE(bench.w->closeQuestions->asked.size(), std::size_t(busy ? 1 : 0));
        QCOMPARE(w.Winsock1->state(), SocketControl::Closed);
        QCOMPARE(w.Winsock2->state(), SocketControl::Closed);
        QCOMPARE(bench.shown(), std::vector<RecordingMessages::Shown>{});
        bench.w.reset();
        if (busy) {
            QTRY_COMPARE(serversPeer.state(), QAbstractSocket::UnconnectedState);
            QTRY_VERIFY(!clientsConnection ||
                        clientsConnection->state() == QAbstractSocket::UnconnectedState);
        }
    }

    // Ctrl+S in a pane or in the list saves it where the operator says; a save that fails is
    // told and leaves the window as it was.
    void eachViewSavesWhatItShows_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("suggested");
        QTest::newRow("server pane") << u"Text3"_qs << u"{tmp}/a.txt"_qs << u"servidor.txt"_qs;
        QTest::newRow("client pane") << u"Text4"_qs << u"{tmp}/a.txt"_qs << u"cliente.txt"_qs;
        QTest::newRow("serial pane") << u"Text2"_qs << u"{tmp}/a.txt"_qs << u"serie.txt"_qs;
        QTest::newRow("code list") << u"ListView1"_qs << u"{tmp}/a.csv"_qs << u"sesion.csv"_qs;
        QTest::newRow("full device") << u"Text3"_qs << u"/dev/full"_qs << u"servidor.txt"_qs;
    }
    void eachViewSavesWhatItShows()
    {
        QFETCH(QString, view);
        QFETCH(QString, path);
        QFETCH(QString, suggested);
        QTemporaryDir folder;
        path.replace(u"{tmp}"_qs, folder.path());
        QStringList asked;
        ServerFrmPlatform platform;
        platform.askSavePath = [&](QWidget*, const QString& name, const QString&) {
            asked << name;
            return path;
        };
        WindowUnderTest w(std::move(platform));
        const quint16 port = listenUnderTcp(w);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(peer.waitForConnected(5000));
        peer.write(allByteValues());
        QTRY_COMPARE(rowsJoined(*w), allByteValues());
        AppendLog(*w.ui->Text4, u"Servidor : ", QByteArrayView("\r\n\0\xFF", 4));
        AppendLog(*w.ui->Text2, u"Conectado....");
        const QByteArray panes = w.ui->Text2->bytes() + w.ui->Text3->bytes() + w.ui->Text4->bytes();
        const qint64 rows = w->codeList().rowCount();

        auto* shown = w->findChild<QWidget*>(view);
        QVERIFY(shown);
        auto* actions = shown->findChild<ViewActions*>();
        QVERIFY(actions);
        QSignalSpy started(actions, &ViewActions::saveStarted);
        shown->setFocus();
        QTest::keyClick(shown, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(asked, QStringList{suggested});
        QCOMPARE(started.size(), 1);
        QSignalSpy finished(started.at(0).at(0).value<FileSave*>(), &FileSave::finished);
        QVERIFY(finished.wait(10'000));

        if (path == u"/dev/full") {
            QCOMPARE(w.messages->shown.size(), 1u);
            QCOMPARE(w.messages->shown[0].text,
                     u"Error : No se pudo guardar «/dev/full»: el disco está lleno."_qs);
        } else if (auto* pane = qobject_cast<LogPane*>(shown)) {
            QCOMPARE(fileBytes(path), pane->bytes());
        } else {
            const QByteArray csv = fileBytes(path);
            QVERIFY(csv.startsWith("\xEF\xBB\xBF" +
                                   u"Hora,Enlace,Bytes,Códigos,Hexadecimal,Texto\r\n"_qs.toUtf8()));
            // The chunk with the link it came by and its time of arrival, from the record.
            QVERIFY(csv.contains(",Servidor,256,\"" + codeRowAscii(allByteValues()) + "\","));
            QVERIFY(QRegularExpression(u"\r\n\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}"_qs)
                        .match(QString::fromUtf8(csv))
                        .hasMatch());
        }
        QCOMPARE(w.ui->Text2->bytes() + w.ui->Text3->bytes() + w.ui->Text4->bytes(), panes);
        QCOMPARE(w->codeList().rowCount(), rows);
    }

    // Each pane's "Limpiar" empties that pane only (the serial pane's is its button), and the
    // list's "Limpiar lista" the list only; the record keeps every row. What arrives later
    // shows in the emptied view as usual, and saving the view saves what it shows.
    void limpiarEmptiesOnlyItsView_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QStringList>("offered");
        const QStringList pane{u"Copiar (gris)"_qs,
                               u"Seleccionar todo"_qs,
                               QString(),
                               u"Limpiar"_qs,
                               QString(),
                               u"Buscar…"_qs,
                               QString(),
                               u"Mostrar hora"_qs,
                               u"Hora relativa (gris)"_qs,
                               QString(),
                               u"Guardar como…"_qs};
        // The panes' options, off at first, between the times and "Guardar como…".
        const QStringList serial =
            pane.mid(0, 10) +
            QStringList{u"Eco local"_qs, u"Reconectar automáticamente"_qs, QString()} +
            pane.mid(10);
        const QStringList client = pane.mid(0, 10) +
                                   QStringList{u"Reconectar automáticamente"_qs, QString()} +
                                   pane.mid(10);
        QTest::newRow("server pane") << u"Text3"_qs << pane;
        QTest::newRow("client pane") << u"Text4"_qs << client;
        QTest::newRow("serial pane") << u"Text2"_qs << serial;
        QTest::newRow("code list") << u"ListView1"_qs
                                   << QStringList{u"Copiar (gris)"_qs,
                                                  u"Seleccionar todo"_qs,
                                                  QString(),
                                                  u"Decimal (✓)"_qs,
                                                  u"Hexadecimal"_qs,
                                                  u"Agrupar la serie por línea"_qs,
                                                  QString(),
                                                  u"Mostrar hora"_qs,
                                                  u"Hora relativa (gris)"_qs,
                                                  QString(),
                                                  u"Limpiar lista"_qs,
                                                  QString(),
                                                  u"Buscar…"_qs,
                                                  QString(),
                                                  u"Grabar en archivo…"_qs,
                                                  QString(),
                                                  u"Guardar como…"_qs};
    }
    void limpiarEmptiesOnlyItsView()
    {
        QFETCH(QString, view);
        QFETCH(QStringList, offered);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"guardado"_qs);
        ServerFrmPlatform platform;
        platform.askSavePath = [&path](QWidget*, const QString&, const QString&) {
            return path;
        };
        WindowUnderTest w(std::move(platform));
        const quint16 port = listenUnderTcp(w);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(peer.waitForConnected(5000));
        peer.write("AB");
        QTRY_COMPARE(w.ui->ListView1->model()->rowCount(), 1);
        AppendLog(*w.ui->Text4, u"Servidor : ", "cd");
        AppendLog(*w.ui->Text2, u"Conectado....");

        auto* shown = w->findChild<QAbstractScrollArea*>(view);
        QVERIFY(shown);
        QCOMPARE(contextMenuOf(*shown), offered);
        QMap<QString, QByteArray> expected = shownByEachView(*w);
        expected[view].clear();
        QAction* clear = actionOf(
            *shown, offered.contains(u"Limpiar lista"_qs) ? u"Limpiar lista"_qs : u"Limpiar"_qs);
        QVERIFY(clear);
        clear->trigger();
        QCOMPARE(shownByEachView(*w), expected);
        QCOMPARE(rowsJoined(*w), QByteArray("AB"));

        peer.write("xyz");
        expected[u"Text3"_qs] += "Cliente : xyz\r\n";
        expected[u"ListView1"_qs] += ",120,121,122\n";
        QTRY_COMPARE(shownByEachView(*w), expected);
        QCOMPARE(rowsJoined(*w), QByteArray("ABxyz"));

        QSignalSpy started(shown->findChild<ViewActions*>(), &ViewActions::saveStarted);
        actionOf(*shown, u"Guardar como…"_qs)->trigger();
        QCOMPARE(started.size(), 1);
        QSignalSpy finished(started.at(0).at(0).value<FileSave*>(), &FileSave::finished);
        QVERIFY(finished.wait(10'000));
        if (view != u"ListView1") {
            QCOMPARE(fileBytes(path), expected[view]);
        } else {
            // Only the row the list shows, its codes in both bases.
            const QStringList lines = QString::fromUtf8(fileBytes(path)).split(u"\r\n"_qs);
            QCOMPARE(lines.size(), 3);
            QCOMPARE(lines[0], u"Hora,Enlace,Bytes,Códigos,Hexadecimal,Texto"_qs);
            QVERIFY2(lines[1].endsWith(u",Servidor,3,\",120,121,122\",\",78,79,7A\",\"xyz\""_qs),
                     qPrintable(lines[1]));
            QCOMPARE(lines[2], QString());
        }
        QVERIFY(w.messages->shown.empty());
    }

    // A close that would lose received bytes no file keeps, or cut a save short, asks first:
    // "Guardar…" saves the whole session as CSV and closes once that is saved, "Cerrar sin
    // guardar" closes, "Cancelar" leaves everything as it was. A session that keeps everything
    // closes at once.
    void closingAsksBeforeReceivedBytesAreLost_data()
    {
        QTest::addColumn<QString>("before");     // what happens before the close
        QTest::addColumn<QList<int>>("answers"); // CloseAnswer, in turn
        QTest::addColumn<QString>("savePath");   // where the close's "Guardar…" saves
        QTest::addColumn<QString>("asks");       // in the question; empty: nothing asked
        QTest::addColumn<bool>("closes");
        enum A {
            Save = int(CloseAnswer::Save),
            CloseWithoutSaving = int(CloseAnswer::CloseWithoutSaving),
            Cancel = int(CloseAnswer::Cancel),
        };
        const QString all = u"6 bytes en 2 filas"_qs;
        QTest::newRow("nothing received")
            << u"connected"_qs << QList<int>{} << QString() << QString() << true;
        QTest::newRow("Cancelar") << u"received"_qs << QList<int>{Cancel} << QString() << all
                                  << false;
        QTest::newRow("Cerrar sin guardar")
            << u"received"_qs << QList<int>{CloseWithoutSaving} << QString() << all << true;
        QTest::newRow("Guardar…") << u"received"_qs << QList<int>{Save} << u"{tmp}/fin.csv"_qs
                                  << all << true;
        QTest::newRow("Guardar… that fails")
            << u"received"_qs << QList<int>{Save} << u"/dev/full"_qs << all << false;
        QTest::newRow("Guardar…, no file named")
            << u"received"_qs << QList<int>{Save} << QString() << all << false;
        QTest::newRow("the list saved")
            << u"list saved"_qs << QList<int>{} << QString() << QString() << true;
        QTest::newRow("more after the list was saved")
            << u"more after saving"_qs << QList<int>{Cancel} << QString() << u"3 bytes en 1 fila"_qs
            << false;
        // The rows "Limpiar lista" took from the list are in no file yet: still asked about,
        // and "Guardar…" saves them too.
        QTest::newRow("the list emptied, then saved")
            << u"emptied and saved"_qs << QList<int>{Save} << u"{tmp}/fin.csv"_qs
            << u"9 bytes en 3 filas"_qs << true;
        QTest::newRow("during a save, Guardar… waits for it")
            << u"saving"_qs << QList<int>{Save} << QString() << u"Todavía se está guardando"_qs
            << true;
        QTest::newRow("during a save, Cerrar sin guardar")
            << u"saving"_qs << QList<int>{CloseWithoutSaving} << QString()
            << u"Todavía se está guardando"_qs << true;
    }
    void closingAsksBeforeReceivedBytesAreLost()
    {
        QFETCH(QString, before);
        QFETCH(QList<int>, answers);
        QFETCH(QString, savePath);
        QFETCH(QString, asks);
        QFETCH(bool, closes);
        constexpr int Save = int(CloseAnswer::Save);
        QTemporaryDir folder;
        const QString listFile = folder.filePath(u"lista.csv"_qs);
        savePath.replace(u"{tmp}"_qs, folder.path());
        QStringList asked;
        ServerFrmPlatform platform;
        platform.askSavePath = [&](QWidget*, const QString& name, const QString&) {
            asked << name;
            return asked.size() == 1 && before != u"received" ? listFile : savePath;
        };
        WindowUnderTest w(std::move(platform));
        for (const int answer : std::as_const(answers))
            w.closeQuestions->answers.push_back(CloseAnswer(answer));
        const quint16 port = listenUnderTcp(w);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(w->Winsock1->state(), SocketControl::Connected);
        const auto receive = [&](const QByteArray& bytes) {
            const qint64 rows = w->codeList().rowCount();
            peer.write(bytes);
            QTRY_COMPARE(w->codeList().rowCount(), rows + 1);
        };
        const auto saveTheList = [&](bool wait) {
            auto* actions = w.ui->ListView1->findChild<ViewActions*>();
            QSignalSpy started(actions, &ViewActions::saveStarted);
            actions->saveAsAction()->trigger();
            QCOMPARE(started.size(), 1);
            if (wait) {
                QSignalSpy finished(started.at(0).at(0).value<FileSave*>(), &FileSave::finished);
                QVERIFY(finished.wait(10'000));
            }
        };
        if (before != u"connected") {
            receive("AB");
            receive("CDEF");
        }
        if (before == u"list saved" || before == u"more after saving")
            saveTheList(true);
        if (before == u"more after saving")
            receive("xyz");
        if (before == u"emptied and saved") {
            actionOf(*w.ui->ListView1, u"Limpiar lista"_qs)->trigger();
            receive("xyz");
            saveTheList(true);
        }
        if (before == u"saving")
            saveTheList(false); // its end is told on a later turn of the event loop

        const bool closedAtOnce = w->close();
        if (asks.isEmpty()) {
            QVERIFY(closedAtOnce);
            QVERIFY(w.closeQuestions->asked.empty());
        } else {
            QCOMPARE(w.closeQuestions->asked.size(), std::size_t(1));
            const QString question = w.closeQuestions->asked[0];
            QVERIFY2(question.contains(asks), qPrintable(question));
            if (before != u"saving")
                QVERIFY2(QRegularExpression(u"^Lo recibido desde las \\d\\d:\\d\\d:\\d\\d no está "
                                            u"guardado"_qs)
                             .match(question)
                             .hasMatch(),
                         qPrintable(question));
            else
                QVERIFY2(question.contains(quoted(listFile)), qPrintable(question));
        }
        QTRY_COMPARE(!w->isVisible(), closes);
        if (!closes) {
            // A failed save is told; everything goes on as it was, and a later close asks
            // again.
            const bool fails = savePath == u"/dev/full";
            QTRY_COMPARE(w.messages->shown.size(), std::size_t(fails ? 1 : 0));
            if (fails)
                QVERIFY(w.messages->shown[0].text.contains(u"No se pudo guardar «/dev/full»"_qs));
            QCOMPARE(w->Winsock1->state(), SocketControl::Connected);
            w.closeQuestions->answers = {CloseAnswer::Cancel};
            QVERIFY(!w->close());
            QCOMPARE(w.closeQuestions->asked.size(), std::size_t(2));
            QVERIFY(w->isVisible());
            return;
        }
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
        QVERIFY(w.messages->shown.empty());
        if (answers == QList<int>{Save} && before != u"saving") {
            // The whole session, with the rows the list no longer shows.
            const QStringList lines = QString::fromUtf8(fileBytes(savePath)).split(u"\r\n"_qs);
            const int rows = before == u"received" ? 2 : 3;
            QCOMPARE(lines.size(), rows + 2);
            QVERIFY(lines[1].endsWith(u",\"AB\""_qs));
            QVERIFY(lines[rows].contains(before == u"received" ? u"CDEF"_qs : u"xyz"_qs));
        }
    }

    // Qt's own dialogs speak Spanish too: the file dialog's columns, its question before
    // replacing a file and its buttons come from the distribution's Qt translations.
    void qtsOwnDialogsSpeakSpanish()
    {
        QVERIFY(useSpanishForQt());
        QFileDialog dialog(nullptr, u"Guardar como"_qs, QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        auto* files = dialog.findChild<QTreeView*>();
        QVERIFY(files);
        QCOMPARE(files->model()->headerData(0, Qt::Horizontal).toString(), u"Nombre"_qs);
        QCOMPARE(files->model()->headerData(1, Qt::Horizontal).toString(), u"Tamaño"_qs);
        QCOMPARE(QCoreApplication::translate("QAbstractFileIconProvider", "Folder",
                                             "All other platforms"),
                 u"Carpeta"_qs);
        const QString replace = QCoreApplication::translate(
            "QFileDialog", "%1 already exists.\nDo you want to replace it?");
        QVERIFY2(replace.contains(u"%1"_qs) && !replace.contains(u"already"_qs),
                 qPrintable(replace));
        QMessageBox question;
        question.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(question.button(QMessageBox::Yes)->text().remove(u'&'), u"Sí"_qs);
        QCOMPARE(question.button(QMessageBox::No)->text().remove(u'&'), u"No"_qs);
    }
};

QTEST_MAIN(TestServerFrm)
#include "tst_serverfrm.moc"
