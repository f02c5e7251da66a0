#include "codes/CodeList.h"
#include "codes/CodeListView.h"
#include "serial/SerialBench.h"
#include "support/ByteSamples.h"
#include "support/Saving.h"
#include "support/WindowUnderTest.h"
#include "support/peers/Loopback.h"
#include "views/FileSave.h"
#include "views/LogPane.h"
#include "views/ViewActions.h"

#include <QAccessible>
#include <QAction>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

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
    {"txtIP", "QLineEdit", "Frame2", u"", 960, 240, 1935, 375, 4, "", 15},
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
        QTest::newRow("address: 15 characters") << "txtIP"
                                                << "192.168.100.200x"
                                                << "192.168.100.200";
        QTest::newRow("address: names too") << "txtIP"
                                            << "mi-equipo"
                                            << "mi-equipo";
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
        QTest::keyClicks(edit, typed);
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

    void closingTheWindowEndsEveryLinkWithoutAWord_data()
    {
        QTest::addColumn<bool>("busy");
        QTest::newRow("nothing ever opened") << false;
        QTest::newRow("every link busy") << true;
    }
    void closingTheWindowEndsEveryLinkWithoutAWord()
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
        }
        QVERIFY(w.close());
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
        const QStringList pane{u"Copiar (gris)"_qs, u"Seleccionar todo"_qs,
                               QString(),           u"Limpiar"_qs,
                               QString(),           u"Guardar como…"_qs};
        QTest::newRow("server pane") << u"Text3"_qs << pane;
        QTest::newRow("client pane") << u"Text4"_qs << pane;
        QTest::newRow("serial pane") << u"Text2"_qs << pane;
        QTest::newRow("code list")
            << u"ListView1"_qs << QStringList{u"Copiar (gris)"_qs, u"Seleccionar todo"_qs,
                                              QString(),           u"Decimal (✓)"_qs,
                                              u"Hexadecimal"_qs,   QString(),
                                              u"Limpiar lista"_qs, QString(),
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
        QAction* clear = actionOf(*shown, offered.at(offered.size() - 3));
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
};

QTEST_MAIN(TestServerFrm)
#include "tst_serverfrm.moc"
