#include "serial/QtSerialControl.h"
#include "support/PseudoTerminal.h"

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
        QTRY_COMPARE(open.control.inBufferCount(), 5);
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
        QTRY_COMPARE(control.inBufferCount(), flood.size());

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

    // "Enviar" then "Desconectar" at once: what was handed over still goes out.
    void closingRightAfterSendingStillSends()
    {
        OpenControl open;
        open.control.setOutput(QString(3000, u'z'));
        open.control.setPortOpen(false);
        QTRY_COMPARE(open.line.received, QByteArray(3000, 'z'));
    }
};

QTEST_MAIN(TestQtSerialControl)
#include "tst_qtserialcontrol.moc"
