#include "base/SingleByteCodec.h"
#include "codes/CodeList.h"
#include "codes/SessionCsv.h"
#include "record/SessionRecord.h"
#include "record/SessionSaveBinding.h"
#include "serial/LineSpeed.h"
#include "support/ByteSamples.h"
#include "support/FakeSerialControl.h"
#include "support/ListRows.h"
#include "support/RecordProbe.h"
#include "support/Saving.h"
#include "support/ScreenReader.h"
#include "support/SerialBench.h"
#include "support/WindowUnderTest.h"
#include "views/LogPane.h"

#include <QAccessible>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <grp.h>
#include <termios.h>
#include <unistd.h>

using Shown = RecordingMessages::Shown;
using Fields = QStringList;

namespace {

const QByteArray kConnected = QByteArrayLiteral("Conectado....\r\n");

termios applied(const PseudoTerminal& line)
{
    termios settings{};
    ::tcgetattr(line.slaveDescriptor(), &settings);
    return settings;
}

// The window on a control that records every operation.
struct FakeBench {
    FakeBench()
        : w([this] {
            ServerFrmPlatform platform;
            auto fake = std::make_unique<FakeSerialControl>();
            control = fake.get();
            platform.mscomm1 = std::move(fake);
            return platform;
        }())
    {
    }
    FakeSerialControl* control = nullptr;
    WindowUnderTest w;
};

bool saysOnce(const std::vector<Shown>& shown, const QString& says, MessageIcon icon)
{
    if (shown.size() == 1 && shown[0].icon == icon && shown[0].text.contains(says))
        return true;
    for (const Shown& message : shown)
        qWarning("shown: %s", qPrintable(message.text));
    return false;
}

} // namespace

class TestSerialLink : public QObject {
    Q_OBJECT

private slots:
    // The road of a serial exchange, from "Conectar" to characters arriving one by one.
    void aSerialExchange()
    {
        SerialBench bench;
        ServerFrm& w = bench.window();
        bench.connect();
        QVERIFY(bench.shown().empty());
        QCOMPARE(w.MSComm1->settings(), QStringLiteral("9600,n,8,1"));
        const termios line = applied(bench.line);
        QCOMPARE(cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(w.controls().Text2->bytes(), kConnected);
        QCOMPARE(w.controls().Text2->selStart(), kConnected.size());

        bench.send(QStringLiteral("hola"));
        QTRY_COMPARE(bench.line.received, QByteArrayLiteral("hola"));
        QCOMPARE(w.controls().Text1->text(), QString());
        QCOMPARE(QApplication::focusWidget(), w.controls().Text1);

        bench.line.write("AB");
        QTRY_COMPARE(w.codeList().rowCount(), 2);
        QCOMPARE(rowText(w.codeList(), 0), QStringLiteral(",65"));
        QCOMPARE(rowText(w.codeList(), 1), QStringLiteral(",66"));
        QCOMPARE(w.controls().Text2->bytes(), kConnected + "AB"); // no echo, no line break
        QCOMPARE(w.controls().Text2->selStart(), kConnected.size());
    }

    // "Agrupar la serie por línea" with a meter on the port: a line is one row of the list up
    // to its line end, while the session keeps a row per character.
    void aMetersLineIsOneRowWhenGrouped()
    {
        SerialBench bench;
        ServerFrm& w = bench.window();
        bench.connect();
        QVERIFY(setPaneOption(*bench.w->ui->ListView1, u"Agrupar la serie por línea"_qs, true));
        bench.line.write("T=23.4C\r\nT=23.5C\r\n");
        QTRY_COMPARE(w.codeList().rowCount(), 18);
        const QAbstractItemModel& shown = *bench.w->ui->ListView1->model();
        QTRY_COMPARE(shown.rowCount(), 2);
        QCOMPARE(shown.index(0, 0).data(Qt::EditRole).toString(),
                 u",84,61,50,51,46,52,67,13,10"_qs);
        QCOMPARE(shown.index(1, 0).data(Qt::EditRole).toString(),
                 u",84,61,50,51,46,53,67,13,10"_qs);
    }

    // What the device runs is read back from it. A pseudo-terminal takes the speed (custom
    // rates included) and the stop bits; input errors are marked, to be shown as "?".
    void fieldsBecomeTheLineSettings_data()
    {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<long long>("baud");
        QTest::addColumn<bool>("twoStopBits");
        QTest::newRow("leading zeros")
            << Fields{"005", "009600", "8", "0", "1"} << "9600,n,8,1" << 9600LL << false;
        QTest::newRow("non-standard speed, 2 stop bits")
            << Fields{"5", "12345", "8", "0", "2"} << "12345,n,8,2" << 12345LL << true;
    }
    void fieldsBecomeTheLineSettings()
    {
        QFETCH(Fields, fields);
        QFETCH(QString, settings);
        SerialBench bench;
        bench.connectWith(fields);
        QCOMPARE(bench.shown(), std::vector<Shown>());
        QCOMPARE(bench.window().MSComm1->settings(), settings);
        QCOMPARE(bench.window().controls().Text2->bytes(), kConnected);
        QTEST(linuxOutputSpeed(bench.line.slaveDescriptor()), "baud");
        const termios line = applied(bench.line);
        QTEST(bool(line.c_cflag & CSTOPB), "twoStopBits");
        QCOMPARE(line.c_cflag & (CSIZE | PARENB), tcflag_t(CS8));
#ifdef QUORVANE_PORTABLE
        QSKIP("the portable build does not mark input errors");
#endif
        QCOMPARE(line.c_iflag & (INPCK | PARMRK | IGNPAR | ISTRIP), tcflag_t(INPCK | PARMRK));
    }

    // A device that runs other settings than asked (a pseudo-terminal runs 8 data bits and
    // no parity, whatever it is told) is closed again, and the operator told what it would
    // not take and what it runs; "Conectado...." is not logged, and the pane says the port
    // that was open before is closed. The port is free afterwards.
    void settingsTheDeviceDoesNotTakeAreRefused_data()
    {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QString>("says");
        QTest::newRow("1 par") << Fields{"5", "9600", "8", "1", "1"}
                               << "«9600,p,8,1»: se pidió paridad par, y el dispositivo funciona "
                                  "sin paridad.";
        QTest::newRow("2 impar, 7 bits")
            << Fields{"5", "19200", "7", "2", "2"}
            << "«19200,i,7,2»: se pidió paridad impar y 7 bits de datos, y el dispositivo "
               "funciona sin paridad y con 8 bits de datos.";
        QTest::newRow("3 marca") << Fields{"5", "9600", "8", "3", "1"}
                                 << "se pidió paridad marca, y el dispositivo funciona sin paridad";
        QTest::newRow("4 espacio, 5 bits")
            << Fields{"5", "9600", "5", "4", "1"}
            << "se pidió paridad espacio y 5 bits de datos, y el dispositivo funciona sin "
               "paridad y con 8 bits de datos";
    }
    void settingsTheDeviceDoesNotTakeAreRefused()
    {
#ifdef QUORVANE_PORTABLE
        QSKIP("the portable build does not read the line back from the device");
#endif
        QFETCH(Fields, fields);
        QFETCH(QString, says);
        SerialBench bench;
        bench.connect();
        bench.connectWith(fields);
        QVERIFY(saysOnce(bench.shown(),
                         QStringLiteral("El puerto COM5 (%1) no acepta la configuración ")
                             .arg(bench.path(QStringLiteral("com5"))),
                         MessageIcon::Critical));
        QVERIFY(saysOnce(bench.shown(), says, MessageIcon::Critical));
        QVERIFY(!bench.window().MSComm1->portOpen());
        const QByteArray closed = kConnected + "****Desconectado****\r\n";
        QCOMPARE(bench.window().controls().Text2->bytes(), closed);

        bench.connect();
        QCOMPARE(bench.shown().size(), std::size_t(1));
        QCOMPARE(bench.window().controls().Text2->bytes(), closed + kConnected);
    }

    // An empty field, or settings the line cannot run, stop "Conectar" before anything is
    // written: the open port stays as it was and nothing is logged.
    void conectarRefusalsLeaveTheOpenPortAlone_data()
    {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QString>("says");
        QTest::addColumn<MessageIcon>("icon");
        const QString complete = QStringLiteral("Complete los datos del Puerto");
        const auto exclamation = MessageIcon::Exclamation;
        QTest::newRow("Com empty") << Fields{"", "19200", "7", "2", "2"} << complete << exclamation;
        QTest::newRow("Vel empty") << Fields{"5", "", "7", "2", "2"} << complete << exclamation;
        QTest::newRow("Dat empty") << Fields{"5", "19200", "", "2", "2"} << complete << exclamation;
        QTest::newRow("Par empty") << Fields{"5", "19200", "7", "", "2"} << complete << exclamation;
        QTest::newRow("Bits empty")
            << Fields{"5", "19200", "7", "2", ""} << complete << exclamation;
        const auto critical = MessageIcon::Critical;
        const QString par = QStringLiteral("El campo «Par» debe ser un dígito de 0 a 4 (0 ninguna "
                                           "paridad, 1 par, 2 impar, 3 marca, 4 espacio); «%1» no "
                                           "nombra ninguna paridad.");
        QTest::newRow("parity 5") << Fields{"5", "19200", "8", "5", "1"} << par.arg(5) << critical;
        QTest::newRow("parity 9") << Fields{"5", "9600", "8", "9", "1"} << par.arg(9) << critical;
        QTest::newRow("speed 0") << Fields{"5", "0", "8", "0", "1"} << "la velocidad «0»"
                                 << critical;
        QTest::newRow("4 data bits")
            << Fields{"5", "9600", "4", "0", "1"} << "los bits de datos «4»" << critical;
        QTest::newRow("9 data bits")
            << Fields{"5", "9600", "9", "0", "1"} << "los bits de datos «9»" << critical;
        QTest::newRow("0 stop bits")
            << Fields{"5", "9600", "8", "0", "0"} << "los bits de parada «0»" << critical;
        QTest::newRow("3 stop bits")
            << Fields{"5", "9600", "8", "0", "3"} << "los bits de parada «3»" << critical;
        QTest::newRow("port 300") << Fields{"300", "9600", "8", "0", "1"}
                                  << "puerto 300 no corresponde" << critical;
    }
    void conectarRefusalsLeaveTheOpenPortAlone()
    {
        QFETCH(Fields, fields);
        QFETCH(QString, says);
        QFETCH(MessageIcon, icon);
        SerialBench bench;
        bench.connect();
        bench.connectWith(fields);
        QVERIFY(saysOnce(bench.shown(), says, icon));
        QVERIFY(bench.window().MSComm1->portOpen());
        const termios line = applied(bench.line);
        QCOMPARE(cfgetospeed(&line), speed_t(B9600));
        QCOMPARE(bench.window().controls().Text2->bytes(), kConnected);
    }

    void aSecondConectarReopensWithTheNewValues()
    {
        SerialBench bench;
        PseudoTerminal other;
        bench.alias(7, other);
        bench.connect();
        bench.connectWith({"7", "19200", "8", "0", "2"});
        QVERIFY(bench.shown().empty());
        QCOMPARE(bench.window().controls().Text2->bytes(), kConnected + kConnected);
        QCOMPARE(bench.window().controls().Text2->selStart(), 2 * kConnected.size());
        QCOMPARE(linuxOutputSpeed(other.slaveDescriptor()), 19200);
        QVERIFY(applied(other).c_cflag & CSTOPB);

        bench.send(QStringLiteral("x"));
        QTRY_COMPARE(other.received, QByteArrayLiteral("x"));
        QCOMPARE(bench.line.received, QByteArray());
    }

    // One row per character, in order, and the last one shows without anything more arriving.
    void aBurstArrivesWholeAndInOrder()
    {
        SerialBench bench;
        bench.connect();
        QByteArray burst(100 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < burst.size(); ++i)
            burst[i] = char((i * 7 + i / 256) & 0xFF);
        bench.line.write(burst);

        const CodeList& list = bench.window().codeList();
        QTRY_COMPARE_WITH_TIMEOUT(list.rowCount(), burst.size(), 120'000);
        QCOMPARE(bench.window().controls().Text2->bytes(), kConnected + burst);
        for (qsizetype i = 0; i < burst.size(); ++i) {
            if (list.rows().bytes(i) != burst.mid(i, 1))
                QFAIL(qPrintable(QStringLiteral("row %1 is %2").arg(i).arg(rowText(list, i))));
        }
    }

    // A screen reader hears the newest line of a burst and of its rows, once a frame: not an
    // announcement per character, not the whole burst at once.
    void theScreenReaderHearsTheNewestLineAndRowAfterABurst()
    {
        if (!ScreenReader::available())
            QSKIP("this platform has no accessibility to switch on");
        SerialBench bench;
        bench.connect();
        const ScreenReader reader;
        QByteArray burst;
        for (int i = 0; burst.size() < 30'000; ++i)
            burst += "[" + QByteArray::number(i) + "] sensor: T=21.5C H=40% OK\r\n";
        burst += "ultima linea sin fin";
        bench.line.write(burst);

        const CodeList& list = bench.window().codeList();
        LogPane* text2 = bench.window().controls().Text2;
        QTRY_COMPARE_WITH_TIMEOUT(list.rowCount(), burst.size(), 60'000);
        // The last thing heard ends where the pane ends, within its newest line (a frame may
        // have told the line's beginning already).
        const auto heardTheEnd = [&] {
            const auto inserted = reader.heardFrom(text2, QAccessible::TextInserted);
            return !inserted.empty() &&
                   inserted.back().position + inserted.back().text.size() == text2->length();
        };
        QTRY_VERIFY(heardTheEnd());
        const auto inserted = reader.heardFrom(text2, QAccessible::TextInserted);
        QVERIFY2(inserted.size() < 200, qPrintable(QString::number(inserted.size())));
        QVERIFY(!inserted.back().text.isEmpty());
        QVERIFY(u"ultima linea sin fin"_qs.endsWith(inserted.back().text));
        for (const ScreenReader::Heard& event : inserted)
            QVERIFY(event.text.size() <= 256);

        QTRY_VERIFY(
            !reader.heardFrom(bench.window().controls().ListView1, QAccessible::TableModelChanged)
                 .empty() &&
            reader.heardFrom(bench.window().controls().ListView1, QAccessible::TableModelChanged)
                    .back()
                    .lastRow == list.rowCount() - 1);
        QAccessibleInterface* rows =
            QAccessible::queryAccessibleInterface(bench.window().controls().ListView1);
        QVERIFY(rows && rows->tableInterface());
        QAccessibleInterface* newest = rows->tableInterface()->cellAt(int(list.rowCount()) - 1, 0);
        QVERIFY(newest);
        QCOMPARE(newest->text(QAccessible::Name), u",110"_qs); // the "n" of "fin"
    }

    // Input errors are marked on the line, so the terminal doubles a received 0xFF: it is
    // still one 0xFF in the list and the pane, and a NUL stays a NUL.
    void everyByteValueGoesBothWays()
    {
        SerialBench bench;
        bench.connect();
        const QByteArray all = allByteValues();
        bench.send(SingleByteCodec::toText(all));
        QTRY_COMPARE(bench.line.received, all);

        bench.line.write(all);
        QTRY_COMPARE(bench.window().codeList().rowCount(), 256);
        for (int b = 0; b < 256; ++b)
            QCOMPARE(rowText(bench.window().codeList(), b), QStringLiteral(",%1").arg(b));
        QCOMPARE(bench.window().controls().Text2->bytes(), kConnected + all);
    }

    // "Desconectar" closes without asking first (twice is harmless), appends its line and
    // selects from the caret on, leaving the caret where it was.
    void desconectarClosesAndSaysSo_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::newRow("open port") << true;
        QTest::newRow("port never opened") << false;
    }
    void desconectarClosesAndSaysSo()
    {
        QFETCH(bool, connected);
        SerialBench bench;
        if (connected)
            bench.connect();
        const QByteArray before = bench.window().controls().Text2->bytes();
        QTest::mouseClick(bench.window().controls().Command4, Qt::LeftButton);
        QTest::mouseClick(bench.window().controls().Command4, Qt::LeftButton);
        QVERIFY(bench.shown().empty());
        QVERIFY(!bench.window().MSComm1->portOpen());
        const QByteArray line = QByteArrayLiteral("****Desconectado****\r\n");
        const LogPane& text2 = *bench.window().controls().Text2;
        QCOMPARE(text2.bytes(), before + line + line);
        QCOMPARE(text2.selStart(), before.size());
        QCOMPARE(text2.selectedText(), QString::fromLatin1(line + line));
    }

    // Nothing goes out, Text1 keeps its text and the serial pane is unchanged.
    void enviarRefusals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("says");
        QTest::addColumn<MessageIcon>("icon");
        QTest::newRow("empty Text1") << ""
                                     << "Ingreso datos para envío" << MessageIcon::Exclamation;
        QTest::newRow("closed port") << "hola"
                                     << "el puerto COM5 (%1) está cerrado" << MessageIcon::Critical;
    }
    void enviarRefusals()
    {
        QFETCH(QString, text);
        QFETCH(QString, says);
        QFETCH(MessageIcon, icon);
        SerialBench bench;
        bench.connect();
        if (!text.isEmpty())
            QTest::mouseClick(bench.window().controls().Command4, Qt::LeftButton);
        const QByteArray before = bench.window().controls().Text2->bytes();
        bench.send(text);
        QVERIFY(saysOnce(bench.shown(), says.arg(bench.path(QStringLiteral("com5"))), icon));
        QCOMPARE(bench.window().controls().Text1->text(), text);
        QCOMPARE(QApplication::focusWidget(),
                 bench.window().controls().Command3); // where the click put it
        QCOMPARE(bench.window().controls().Text2->bytes(), before);
        QCOMPARE(bench.line.received, QByteArray());
    }

    // The window closes at once, and what was sent still goes out, even to an end that reads
    // only later.
    void closingTheWindowLosesNoPendingOutput()
    {
        SerialBench bench;
        bench.connect();
        bench.line.setReading(false);
        const QByteArray sent = varied(256 * 1024);
        bench.send(SingleByteCodec::toText(sent));
        bench.w.reset();
        bench.line.setReading(true);
        QTRY_COMPARE_WITH_TIMEOUT(bench.line.received, sent, 30'000);
    }

    // Through a control that records what is done to it, in the order the handler does it.
    void conectarWritesTheControlInOrder_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("refuse");
        QTest::addColumn<QStringList>("operations");
        QTest::addColumn<bool>("logged");
        const QStringList head = {"Settings=19200,i,7,2", "CommPort=3", "InputLen=1", "InputMode=0",
                                  "PortOpen?"};
        const QStringList tail = {"PortOpen=true", "RThreshold=1", "SThreshold=1"};
        QTest::newRow("closed port") << false << "" << head + tail << true;
        QTest::newRow("open port: closed, then opened")
            << true << "" << head + QStringList{"PortOpen=false"} + tail << true;
        QTest::newRow("open refused: nothing more, nothing logged")
            << false << "PortOpen=true" << head + QStringList{"PortOpen=true"} << false;
        QTest::newRow("port number refused")
            << true << "CommPort" << QStringList{"Settings=19200,i,7,2", "CommPort=3"} << false;
    }
    void conectarWritesTheControlInOrder()
    {
        QFETCH(bool, open);
        QFETCH(QString, refuse);
        QFETCH(bool, logged);
        FakeBench bench;
        bench.control->open = open;
        bench.control->refuse = refuse;
        connectSerial(*bench.w, {"003", "019200", "7", "2", "2"});
        QTEST(bench.control->operations, "operations");
        QCOMPARE(bench.w.messages->shown.size(), std::size_t(logged ? 0 : 1));
        QCOMPARE(bench.w.ui->Text2->bytes(), logged ? kConnected : QByteArray());
    }

    // Each notification reads once: one with nothing waiting adds an empty row and leaves the
    // pane as it is.
    void anEmptyNotificationAddsAnEmptyRowOnly()
    {
        FakeBench bench;
        bench.w.ui->Text2->append("x");
        bench.control->feed(QByteArray());
        bench.control->feed("A");
        const CodeList& list = bench.w->codeList();
        QCOMPARE(list.rowCount(), 2);
        QCOMPARE(rowText(list, 0), QString());
        QCOMPARE(rowText(list, 1), QStringLiteral(",65"));
        QCOMPARE(bench.w.ui->Text2->bytes(), QByteArrayLiteral("xA"));
    }

    void limpiarEmptiesOnlyThePane()
    {
        SerialBench bench;
        bench.connect();
        bench.line.write("A");
        QTRY_COMPARE(bench.window().codeList().rowCount(), 1);
        QTest::mouseClick(bench.window().controls().Command6, Qt::LeftButton);
        QCOMPARE(bench.window().controls().Text2->length(), 0);
        QVERIFY(bench.window().MSComm1->portOpen());

        bench.line.write("B");
        QTRY_COMPARE(bench.window().codeList().rowCount(), 2);
        QCOMPARE(bench.window().controls().Text2->bytes(), QByteArrayLiteral("B"));
    }

    // The other end goes away mid-stream: the port closes, the operator hears it once, the
    // window goes on, and "Conectar" works again once the device is back under its number.
    void theOtherEndVanishingMidStream()
    {
        SerialBench bench;
        ServerFrm& w = bench.window();
        bench.connect();
        bench.line.write("abc");
        QTRY_COMPARE(w.codeList().rowCount(), 3);

        bench.line.vanish();
        QTRY_VERIFY(!w.MSComm1->portOpen());
        QTRY_VERIFY(!bench.shown().empty());
        for (int turn = 0; turn < 100; ++turn)
            QCoreApplication::processEvents();
        QVERIFY(
            saysOnce(bench.shown(), QStringLiteral("con el puerto COM5"), MessageIcon::Critical));
        QCOMPARE(w.controls().Text2->bytes(), kConnected + "abc");

        PseudoTerminal back;
        bench.alias(5, back);
        QTest::mouseClick(w.controls().Command2, Qt::LeftButton);
        QCOMPARE(bench.shown().size(), std::size_t(1));
        QCOMPARE(w.controls().Text2->bytes(), kConnected + "abc" + kConnected);
        bench.send(QStringLiteral("¿sigue?"));
        QTRY_COMPARE(back.received, SingleByteCodec::toBytes(u"¿sigue?"));
        back.write("d");
        QTRY_COMPARE(w.codeList().rowCount(), 4);
    }

    // "Eco local": what "Enviar" sent shows in the pane between what the device sent, drawn
    // in a colour of its own and told to screen readers as that colour. It is no received
    // byte: no code row, and the session's CSV does not list it. The pane's own save holds the
    // pane as shown, the echo included. "Limpiar" forgets the marks with the text; a refused
    // send shows nothing, and with the echo off nothing is shown, as designed.
    void localEchoShowsWhatWasSentApart()
    {
        SerialBench bench;
        ServerFrm& w = bench.window();
        LogPane& pane = *w.controls().Text2;
        bench.connect();
        QVERIFY(setPaneOption(pane, u"Eco local"_qs, true));
        QVERIFY(chooseInBoxMenu(*w.controls().Text1, {u"Fin de línea/CR"_qs}));
        bench.send(u"AT␂"_qs);
        QTRY_COMPARE(bench.line.received, QByteArray("AT\x02\r"));
        bench.line.write("OK\r\n");
        QTRY_COMPARE(w.codeList().rowCount(), 4);
        QCOMPARE(pane.bytes(), kConnected + "AT\x02\rOK\r\n");
        QByteArray rows;
        for (qint64 row = 0; row < w.codeList().rowCount(); ++row)
            rows += w.sessionRecord().codeRowBytes(row);
        QCOMPARE(rows, QByteArray("OK\r\n"));

        // Screen readers: the echo is a run of its own, in the sent colour.
        const int echoAt = int(kConnected.size());
        QAccessibleTextInterface* text =
            QAccessible::queryAccessibleInterface(&pane)->textInterface();
        const QColor sentColour = pane.palette().color(QPalette::Link);
        const QString coloured = u"color:rgb(%1,%2,%3);"_qs.arg(sentColour.red())
                                     .arg(sentColour.green())
                                     .arg(sentColour.blue());
        int from = -1;
        int to = -1;
        QCOMPARE(text->attributes(echoAt + 1, &from, &to), coloured);
        QCOMPARE(std::pair(from, to), std::pair(echoAt, echoAt + 4));
        QCOMPARE(text->attributes(0, &from, &to), QString());
        QCOMPARE(std::pair(from, to), std::pair(0, echoAt));
        QCOMPARE(text->attributes(echoAt + 4, &from, &to), QString());
        QCOMPARE(std::pair(from, to), std::pair(echoAt + 4, echoAt + 8));

        // On screen: "AT" in the sent colour, "OK" in the text colour.
        w.activateWindow();
        QApplication::processEvents();
        const QImage shown = pane.viewport()->grab().toImage();
        const auto inColour = [&shown, &pane](qint64 first, qint64 end, const QColor& colour) {
            const QRect area = pane.characterRect(first).united(pane.characterRect(end - 1));
            int count = 0;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    const QColor pixel = shown.pixelColor(x, y);
                    count += std::abs(pixel.red() - colour.red()) +
                                 std::abs(pixel.green() - colour.green()) +
                                 std::abs(pixel.blue() - colour.blue()) <
                             90;
                }
            }
            return count;
        };
        const QColor textColour = pane.palette().color(QPalette::Text);
        QVERIFY(inColour(echoAt, echoAt + 2, sentColour) > 0);
        QCOMPARE(inColour(echoAt, echoAt + 2, textColour), 0);
        QVERIFY(inColour(echoAt + 4, echoAt + 6, textColour) > 0);
        QCOMPARE(inColour(echoAt + 4, echoAt + 6, sentColour), 0);

        // The session's CSV lists what arrived, not what was sent; the pane's save is the pane.
        QTemporaryDir folder;
        const QString csv = folder.filePath(u"sesion.csv"_qs);
        QCOMPARE(saveAndWait(csv, sessionCsvContent(sessionSource(w.sessionRecord().snapshot())))
                     .outcome,
                 FileSave::Outcome::Saved);
        const QByteArray listed = fileBytes(csv);
        // The header and one row for each of the four characters that arrived.
        QCOMPARE(listed.count("\r\n"), 5);
        for (const char* code : {"\",79\"", "\",75\"", "\",13\"", "\",10\""})
            QVERIFY2(listed.contains(code), listed);
        QVERIFY2(!listed.contains("\",65\"") && !listed.contains("\",2\""), listed);
        const QString saved = folder.filePath(u"serie.txt"_qs);
        QCOMPARE(
            saveAndWait(saved, paneContent(paneSource(w.sessionRecord().snapshot(), Link::Serial)))
                .outcome,
            FileSave::Outcome::Saved);
        QCOMPARE(fileBytes(saved), pane.bytes());

        // "Limpiar": the marks go with the text; a new echo is marked where it now is.
        QTest::mouseClick(w.controls().Command6, Qt::LeftButton);
        bench.send(u"B"_qs);
        QTRY_COMPARE(bench.line.received, QByteArray("AT\x02\rB\r"));
        QCOMPARE(pane.bytes(), QByteArray("B\r"));
        QCOMPARE(text->attributes(0, &from, &to), coloured);
        QCOMPARE(std::pair(from, to), std::pair(0, 2));

        // A send the port refuses shows nothing; with the echo off, nothing shows, as designed.
        QTest::mouseClick(w.controls().Command4, Qt::LeftButton);
        bench.send(u"C"_qs);
        QCOMPARE(bench.shown().size(), std::size_t(1));
        QCOMPARE(pane.bytes(), QByteArray("B\r****Desconectado****\r\n"));
        bench.connect();
        QVERIFY(setPaneOption(pane, u"Eco local"_qs, false));
        bench.send(u"D"_qs);
        QTRY_COMPARE(bench.line.received, QByteArray("AT\x02\rB\rD\r"));
        QCOMPARE(pane.bytes(), QByteArray("B\r****Desconectado****\r\n") + kConnected);
        QCOMPARE(w.codeList().rowCount(), 4);
    }

    // A refused open names the port by number and device; "Conectado...." is not logged.
    void openRefusalsNameThePort_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("says"); // %1: the device directory
        QTest::newRow("not found") << "3"
                                   << "No se encontró el puerto COM3 (%1/ttyS2)";
        QTest::newRow("alias left behind") << "9"
                                           << "No se encontró el puerto COM9 (%1/com9)";
        QTest::newRow("busy, under another alias") << "6"
                                                   << "El puerto COM6 (%1/com6) está ocupado";
    }
    void openRefusalsNameThePort()
    {
        QFETCH(QString, port);
        QFETCH(QString, says);
        SerialBench bench;
        QFile::link(bench.path(QStringLiteral("gone")), bench.path(QStringLiteral("com9")));
        bench.alias(6, bench.line);
        QtSerialControl holder(SerialPortNumbering(bench.devices.path()));
        holder.setCommPort(5);
        holder.setPortOpen(true);

        bench.connectWith({port, "9600", "8", "0", "1"});
        QVERIFY(saysOnce(bench.shown(), says.arg(bench.devices.path()), MessageIcon::Critical));
        QVERIFY(!bench.window().MSComm1->portOpen());
        QCOMPARE(bench.window().controls().Text2->length(), 0);
    }

    // Root is never refused a device, so the refusal is made where the control asks whether
    // it may use one. Where it can, the test gives the device a group of its choosing.
    void aPortTheUserMayNotUseNamesTheGroupToJoin()
    {
        SerialBench bench([](const QString&) { return false; });
        if (const group* uucp = ::getgrnam("uucp"); uucp && ::geteuid() == 0)
            QCOMPARE(::chown(qPrintable(bench.line.device()), uid_t(-1), uucp->gr_gid), 0);
        QString owner = QFileInfo(bench.line.device()).group();
        if (owner == u"root")
            owner = QStringLiteral("dialout");

        bench.connect();
        QVERIFY(saysOnce(bench.shown(),
                         QStringLiteral("No hay permiso para abrir el puerto COM5 (%1). El usuario "
                                        "debe pertenecer al grupo «%2»")
                             .arg(bench.path(QStringLiteral("com5")), owner),
                         MessageIcon::Critical));
        QVERIFY(!bench.window().MSComm1->portOpen());
        QCOMPARE(bench.window().controls().Text2->length(), 0);
    }

    // A capture that outgrows the memory set aside for it is told once, from the event loop
    // (never inside the receive handler, which would stall the line), and loses nothing.
    void aRecordOutgrowingItsMemoryIsToldOnceAndKeepsEveryByte()
    {
        ServerFrmPlatform platform;
        auto line = std::make_unique<FakeSerialControl>();
        FakeSerialControl& port = *line;
        platform.mscomm1 = std::move(line);
        WindowUnderTest w(std::move(platform));
        RecordProbe::setMemoryLimit(w->sessionRecord(), SessionRecord::kBlockSize);
        // Bytes that do not compress, so that they stay over the limit once compressed.
        QByteArray burst(3 * SessionRecord::kBlockSize, Qt::Uninitialized);
        QRandomGenerator random(5);
        random.fillRange(reinterpret_cast<quint32*>(burst.data()), burst.size() / 4);
        port.feed(burst);
        QVERIFY(w.messages->shown.empty());
        QTRY_COMPARE(w.messages->shown.size(), std::size_t(1));
        const Shown& told = w.messages->shown.front();
        QCOMPARE(told.icon, MessageIcon::Exclamation);
        QVERIFY(told.text.contains(u"memoria"));
        QVERIFY(told.text.contains(u"\"Guardar como…\""));
        QVERIFY(told.text.contains(u"\"Limpiar\""));

        port.feed(burst);
        QCoreApplication::processEvents();
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.ui->Text2->bytes(), burst + burst);
        QCOMPARE(rowsJoined(*w), burst + burst);
    }
};

QTEST_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
