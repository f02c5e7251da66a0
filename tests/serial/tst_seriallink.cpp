#include "SerialBench.h"
#include "codes/CodeList.h"
#include "platform/LogPane.h"
#include "platform/SessionRecord.h"
#include "platform/SingleByteCodec.h"
#include "support/ByteSamples.h"
#include "support/FakeSerialControl.h"
#include "support/WindowUnderTest.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
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
        QCOMPARE(w.Text2->bytes(), kConnected);
        QCOMPARE(w.Text2->selStart(), kConnected.size());

        bench.send(QStringLiteral("hola"));
        QTRY_COMPARE(bench.line.received, QByteArrayLiteral("hola"));
        QCOMPARE(w.Text1->text(), QString());
        QCOMPARE(QApplication::focusWidget(), w.Text1);

        bench.line.write("AB");
        QTRY_COMPARE(w.codeList().rowCount(), 2);
        QCOMPARE(w.codeList().rowText(0), QStringLiteral(",65"));
        QCOMPARE(w.codeList().rowText(1), QStringLiteral(",66"));
        QCOMPARE(w.Text2->bytes(), kConnected + "AB"); // no echo, no line break
        QCOMPARE(w.Text2->selStart(), kConnected.size());
    }

    // What the control applied is read back from Qt and termios: a pseudo-terminal runs
    // 8 data bits and no parity whatever it is asked, but keeps the rest.
    void fieldsBecomeTheLineSettings_data()
    {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("baud");
        QTest::addColumn<QSerialPort::DataBits>("data");
        QTest::addColumn<QSerialPort::Parity>("parity");
        QTest::addColumn<QSerialPort::StopBits>("stop");
        QTest::newRow("0 n, leading zeros")
            << Fields{"005", "009600", "8", "0", "1"} << "9600,n,8,1" << 9600 << QSerialPort::Data8
            << QSerialPort::NoParity << QSerialPort::OneStop;
        QTest::newRow("1 p") << Fields{"5", "300", "5", "1", "1"} << "300,p,5,1" << 300
                             << QSerialPort::Data5 << QSerialPort::EvenParity
                             << QSerialPort::OneStop;
        QTest::newRow("2 i") << Fields{"5", "19200", "7", "2", "2"} << "19200,i,7,2" << 19200
                             << QSerialPort::Data7 << QSerialPort::OddParity
                             << QSerialPort::TwoStop;
        QTest::newRow("3 m") << Fields{"5", "9600", "8", "3", "1"} << "9600,m,8,1" << 9600
                             << QSerialPort::Data8 << QSerialPort::MarkParity
                             << QSerialPort::OneStop;
        QTest::newRow("4 e, non-standard speed")
            << Fields{"5", "12345", "6", "4", "2"} << "12345,e,6,2" << 12345 << QSerialPort::Data6
            << QSerialPort::SpaceParity << QSerialPort::TwoStop;
    }
    void fieldsBecomeTheLineSettings()
    {
        QFETCH(Fields, fields);
        QFETCH(QString, settings);
        SerialBench bench;
        bench.connectWith(fields);
        QCOMPARE(bench.shown(), std::vector<Shown>());
        QCOMPARE(bench.window().MSComm1->settings(), settings);
        const QSerialPort& port = bench.control().serialPort();
        QTEST(port.baudRate(), "baud");
        QTEST(port.dataBits(), "data");
        QTEST(port.parity(), "parity");
        QTEST(port.stopBits(), "stop");
        const termios line = applied(bench.line);
        QCOMPARE(bool(line.c_cflag & CSTOPB), port.stopBits() == QSerialPort::TwoStop);
        const QSerialPort::Parity parity = port.parity();
        if (parity != QSerialPort::NoParity) {
            QCOMPARE(bool(line.c_cflag & PARODD),
                     parity == QSerialPort::OddParity || parity == QSerialPort::MarkParity);
            QCOMPARE(bool(line.c_cflag & CMSPAR),
                     parity == QSerialPort::MarkParity || parity == QSerialPort::SpaceParity);
        }
    }

    // Qt leaves mark/space on for odd parity: a line another program left in mark runs odd.
    void oddParityIsOddOnALineLeftInMark()
    {
        SerialBench bench;
        termios left = applied(bench.line);
        left.c_cflag |= CMSPAR | PARODD;
        QCOMPARE(::tcsetattr(bench.line.slaveDescriptor(), TCSANOW, &left), 0);
        bench.connectWith({"5", "9600", "8", "2", "1"});
        QVERIFY(bench.shown().empty());
        QVERIFY(!(applied(bench.line).c_cflag & CMSPAR));
        QVERIFY(applied(bench.line).c_cflag & PARODD);
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
        QTest::newRow("parity 5") << Fields{"5", "19200", "8", "5", "1"} << "la paridad «» no sirve"
                                  << critical;
        QTest::newRow("parity 9") << Fields{"5", "9600", "8", "9", "1"}
                                  << "«9600,,8,1» no es válida" << critical;
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
        QCOMPARE(bench.control().serialPort().baudRate(), 9600);
        QCOMPARE(bench.window().Text2->bytes(), kConnected);
    }

    void aSecondConectarReopensWithTheNewValues()
    {
        SerialBench bench;
        PseudoTerminal other;
        bench.alias(7, other);
        bench.connect();
        bench.connectWith({"7", "19200", "8", "2", "2"});
        QVERIFY(bench.shown().empty());
        QCOMPARE(bench.window().Text2->bytes(), kConnected + kConnected);
        QCOMPARE(bench.window().Text2->selStart(), 2 * kConnected.size());
        QCOMPARE(bench.control().serialPort().baudRate(), 19200);
        QCOMPARE(bench.control().serialPort().parity(), QSerialPort::OddParity);

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
        QCOMPARE(bench.window().Text2->bytes(), kConnected + burst);
        for (qsizetype i = 0; i < burst.size(); ++i) {
            if (list.rows().bytes(i) != burst.mid(i, 1))
                QFAIL(qPrintable(QStringLiteral("row %1 is %2").arg(i).arg(list.rowText(i))));
        }
    }

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
            QCOMPARE(bench.window().codeList().rowText(b), QStringLiteral(",%1").arg(b));
        QCOMPARE(bench.window().Text2->bytes(), kConnected + all);
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
        const QByteArray before = bench.window().Text2->bytes();
        QTest::mouseClick(bench.window().Command4, Qt::LeftButton);
        QTest::mouseClick(bench.window().Command4, Qt::LeftButton);
        QVERIFY(bench.shown().empty());
        QVERIFY(!bench.window().MSComm1->portOpen());
        const QByteArray line = QByteArrayLiteral("****Desconectado****\r\n");
        const LogPane& text2 = *bench.window().Text2;
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
            QTest::mouseClick(bench.window().Command4, Qt::LeftButton);
        const QByteArray before = bench.window().Text2->bytes();
        bench.send(text);
        QVERIFY(saysOnce(bench.shown(), says.arg(bench.path(QStringLiteral("com5"))), icon));
        QCOMPARE(bench.window().Text1->text(), text);
        QCOMPARE(QApplication::focusWidget(), bench.window().Command3); // where the click put it
        QCOMPARE(bench.window().Text2->bytes(), before);
        QCOMPARE(bench.line.received, QByteArray());
    }

    void limpiarEmptiesOnlyThePane()
    {
        SerialBench bench;
        bench.connect();
        bench.line.write("A");
        QTRY_COMPARE(bench.window().codeList().rowCount(), 1);
        QTest::mouseClick(bench.window().Command6, Qt::LeftButton);
        QCOMPARE(bench.window().Text2->length(), 0);
        QVERIFY(bench.window().MSComm1->portOpen());

        bench.line.write("B");
        QTRY_COMPARE(bench.window().codeList().rowCount(), 2);
        QCOMPARE(bench.window().Text2->bytes(), QByteArrayLiteral("B"));
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
        QCOMPARE(w.Text2->bytes(), kConnected + "abc");

        PseudoTerminal back;
        bench.alias(5, back);
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        QCOMPARE(bench.shown().size(), std::size_t(1));
        QCOMPARE(w.Text2->bytes(), kConnected + "abc" + kConnected);
        bench.send(QStringLiteral("¿sigue?"));
        QTRY_COMPARE(back.received, SingleByteCodec::toBytes(u"¿sigue?"));
        back.write("d");
        QTRY_COMPARE(w.codeList().rowCount(), 4);
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
        QCOMPARE(bench.window().Text2->length(), 0);
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
        QCOMPARE(bench.window().Text2->length(), 0);
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
        w->sessionRecord().setMemoryLimit(SessionRecord::kBlockSize);
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
        QCOMPARE(w->Text2->bytes(), burst + burst);
        QCOMPARE(rowsJoined(*w), burst + burst);
    }
};

QTEST_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
