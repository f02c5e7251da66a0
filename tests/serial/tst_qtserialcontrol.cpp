#include "base/SingleByteCodec.h"
#include "serial/QtSerialControl.h"
#include "support/ByteSamples.h"
#include "support/PseudoTerminal.h"
#include "support/SerialControlProbe.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// A control whose port 5 is a pseudo-terminal, open.
struct OpenControl {
    OpenControl()
        : control(SerialPortNumbering(devices.path()))
    {
        QFile::link(line.device(), devices.filePath(QStringLiteral("com5")));
        control.setCommPort(5);
        control.setPortOpen(true);
    }
    QTemporaryDir devices;
    PseudoTerminal line;
    QtSerialControl control;
};

} // namespace

class TestQtSerialControl : public QObject {
    Q_OBJECT

private slots:
    void inputTakesAtMostInputLen()
    {
        OpenControl open;
        open.line.write("abcde");
        QTRY_COMPARE(SerialControlProbe::waiting(open.control), 5);
        open.control.setInputLen(2);
        QCOMPARE(open.control.input(), QByteArrayLiteral("ab"));
        open.control.setInputLen(1);
        QCOMPARE(open.control.input(), QByteArrayLiteral("c"));
        open.control.setInputLen(0);
        QCOMPARE(open.control.input(), QByteArrayLiteral("de"));
        QCOMPARE(open.control.input(), QByteArray());
    }

    // A flood is notified in batches, so that other events (a click, a repaint) are served
    // between them; every character still gets its notification.
    void aFloodLeavesRoomForOtherEvents()
    {
        OpenControl open;
        QtSerialControl& control = open.control;
        control.setInputLen(1);
        const QByteArray flood(2 * QtSerialControl::kNotificationsPerTurn + 100, 'x');
        open.line.write(flood);
        QTRY_COMPARE(SerialControlProbe::waiting(control), flood.size());

        QByteArray read;
        connect(&control, &SerialControl::onComm, this, [&] { read += control.input(); });
        control.setRThreshold(1);
        qsizetype readWhenOtherTimerRan = -1;
        QTimer other; // due as soon as the control's own
        other.setSingleShot(true);
        connect(&other, &QTimer::timeout, this, [&] { readWhenOtherTimerRan = read.size(); });
        other.start(0);
        QTRY_COMPARE(read, flood);
        QCOMPARE(readWhenOtherTimerRan, qsizetype(QtSerialControl::kNotificationsPerTurn));
    }

    // "Enviar" then "Desconectar" at once, while the other end reads nothing: the close is
    // done at once (far more is pending than a pseudo-terminal holds), and what was handed
    // over still goes out once the other end reads.
    void closingNeverWaitsForTheLineYetSendsEverything()
    {
        OpenControl open;
        open.line.setReading(false);
        const QByteArray sent = varied(256 * 1024);
        open.control.setOutput(SingleByteCodec::toText(sent));
        open.control.setPortOpen(false);
        QVERIFY(!open.control.portOpen());
        QCOMPARE(open.line.received, QByteArray());
        open.line.setReading(true);
        QTRY_COMPARE_WITH_TIMEOUT(open.line.received.size(), sent.size(), 30'000);
        QCOMPARE(open.line.received, sent);
    }

    // Opening the device again waits until what was pending has gone out, so nothing sent
    // after the reopen overtakes it. Meanwhile the event loop runs: here the other end starts
    // reading from a timer.
    void reopeningWaitsForThePendingOutput()
    {
        OpenControl open;
        open.line.setReading(false);
        const QByteArray sent = varied(256 * 1024);
        open.control.setOutput(SingleByteCodec::toText(sent));
        open.control.setPortOpen(false);
        QTimer::singleShot(0, &open.line, [&] { open.line.setReading(true); });
        open.control.setPortOpen(true);
        QVERIFY(open.control.portOpen());
        QCOMPARE(open.line.received.size() + open.line.unread(), sent.size());
        open.control.setOutput(u"fin");
        QTRY_COMPARE_WITH_TIMEOUT(open.line.received, sent + "fin", 30'000);
    }
};

QTEST_MAIN(TestQtSerialControl)
#include "tst_qtserialcontrol.moc"
