// "Reconectar automáticamente" on the serial and client panes, through the real window: a
// device that disappears and comes back under the same number, a server that drops its peer
// and listens again.

#include "base/SingleByteCodec.h"
#include "codes/CodeList.h"
#include "support/SerialBench.h"
#include "support/ByteSamples.h"
#include "support/WindowUnderTest.h"
#include "views/LogPane.h"
#include "views/StateLight.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <sys/socket.h>

#include <atomic>
#include <memory>

using Lamp = StateLight::Lamp;

namespace {

const QString kReconnect = QStringLiteral("Reconectar automáticamente");
const QByteArray kConnected = QByteArrayLiteral("Conectado....\r\n");
const QByteArray kLost = QByteArrayLiteral("****Desconectado****\r\n");

StateLight& lamp(ServerFrm& w, const char* name)
{
    auto* light = w.findChild<StateLight*>(QLatin1StringView(name));
    Q_ASSERT(light);
    return *light;
}

// A loopback server on a port of its own that keeps the peer it takes, and can drop it and
// stop listening, then listen again on the same port.
class DroppingServer : public QTcpServer {
public:
    DroppingServer()
    {
        listen(QHostAddress::LocalHost, 0);
        port = serverPort();
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* next = nextPendingConnection()) {
                ++connections;
                peer = next;
            }
        });
    }
    // The peer closed, or reset (what the system held for it dropped), and no one listens.
    void drop(bool reset)
    {
        close();
        if (reset) {
            const linger abrupt{1, 0};
            ::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abrupt,
                         sizeof abrupt);
        }
        peer->close();
    }
    bool listenAgain() { return listen(QHostAddress::LocalHost, port); }

    quint16 port = 0;
    int connections = 0;
    QPointer<QTcpSocket> peer;
};

void connectClient(WindowUnderTest& w, quint16 port)
{
    QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
    w.ui->txtIP->setText(u"127.0.0.1"_qs);
    w.ui->txtPort2->setText(QString::number(port));
    QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
    QTRY_VERIFY(w.ui->Text4->text().endsWith(u"Conectado a 127.0.0.1\r\n"_qs));
}

} // namespace

class TestReconnection : public QObject {
    Q_OBJECT

private slots:
    // The device goes (its alias now names something that is no serial port) and comes back
    // as another pseudo-terminal under the same com5: the port is tried every half second
    // meanwhile, the lamp is amber, the pane tells the loss and the return, no message box
    // comes up, and what the device sends after its return all arrives, in order. What came
    // before the loss is in the pane before the loss is told.
    void aLostSerialPortComesBackByItself()
    {
        auto tries = std::make_shared<std::atomic<int>>(0);
        SerialBench bench([tries](const QString& device) {
            ++*tries;
            return QtSerialControl::mayReadAndWrite(device);
        });
        ServerFrm& w = bench.window();
        LogPane& pane = *w.controls().Text2;
        StateLight& light = lamp(w, "serialLight");
        QVERIFY(setPaneOption(pane, kReconnect, true));
        bench.connect();
        bench.line.write("abc");
        QTRY_COMPARE(w.codeList().rowCount(), 3);

        const QString alias = bench.path(u"com5"_qs);
        bench.line.vanish();
        QFile::remove(alias);
        QFile notAPort(bench.path(u"no-es-un-puerto"_qs));
        QVERIFY(notAPort.open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(notAPort.fileName(), alias));
        QTRY_COMPARE(pane.bytes(), kConnected + "abc" + kLost);
        QTRY_COMPARE(light.lamp(), Lamp::Amber);
        QCOMPARE(light.text(), u"COM5 perdido: se vuelve a abrir cada medio segundo"_qs);
        // Tried again and again while the device is away, and none of it shown.
        const int before = tries->load();
        QTRY_VERIFY(tries->load() >= before + 2);
        QVERIFY(!w.MSComm1->portOpen());
        QCOMPARE(pane.bytes(), kConnected + "abc" + kLost);
        QVERIFY(bench.shown().empty());

        PseudoTerminal back;
        bench.alias(5, back);
        QTRY_COMPARE(pane.bytes(), kConnected + "abc" + kLost + kConnected);
        QVERIFY(w.MSComm1->portOpen());
        QTRY_COMPARE(light.lamp(), Lamp::Green);
        QCOMPARE(light.text(), u"COM5 abierto a 9600,n,8,1"_qs);
        // Same settings, and the line works both ways.
        const QByteArray burst = allByteValues().repeated(64);
        back.write(burst);
        QTRY_COMPARE(pane.bytes(), kConnected + "abc" + kLost + kConnected + burst);
        QCOMPARE(w.codeList().rowCount(), 3 + burst.size());
        bench.send(u"hola"_qs);
        QTRY_COMPARE(back.received, QByteArray("hola"));
        QVERIFY(bench.shown().empty());
    }

    // What ends the retrying: "Desconectar", "Conectar" (the operator's own open) and turning
    // the option off. The lamp stops being amber; "Desconectar" logs as designed. With the
    // option off a loss is told as before, by a message.
    void theOperatorEndsTheSerialRetrying_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("Desconectar") << u"Desconectar"_qs;
        QTest::newRow("Conectar") << u"Conectar"_qs;
        QTest::newRow("option off") << u"option off"_qs;
    }
    void theOperatorEndsTheSerialRetrying()
    {
        QFETCH(QString, ending);
        SerialBench bench;
        ServerFrm& w = bench.window();
        LogPane& pane = *w.controls().Text2;
        StateLight& light = lamp(w, "serialLight");
        QVERIFY(setPaneOption(pane, kReconnect, true));
        bench.connect();
        bench.line.vanish();
        QFile::remove(bench.path(u"com5"_qs));
        QTRY_COMPARE(light.lamp(), Lamp::Amber);

        if (ending == u"Desconectar") {
            QTest::mouseClick(w.controls().Command4, Qt::LeftButton);
            QCOMPARE(pane.bytes(), kConnected + kLost + kLost);
        } else if (ending == u"Conectar") {
            // The device is still away: the operator's "Conectar" is refused as ever.
            QTest::mouseClick(w.controls().Command2, Qt::LeftButton);
            QCOMPARE(bench.shown().size(), std::size_t(1));
            QVERIFY(bench.shown().front().text.contains(u"No se encontró el puerto COM5"_qs));
        } else {
            QVERIFY(setPaneOption(pane, kReconnect, false));
        }
        QTRY_COMPARE(light.lamp(), Lamp::Off);
        QCOMPARE(light.text(), u"Cerrado"_qs);

        // Off now: the next loss is told by a message, not retried.
        PseudoTerminal back;
        bench.alias(5, back);
        QVERIFY(setPaneOption(pane, kReconnect, false));
        const std::size_t told = bench.shown().size();
        bench.connect();
        back.vanish();
        QTRY_COMPARE(bench.shown().size(), told + 1);
        QVERIFY(bench.shown().back().text.contains(u"Se perdió la comunicación"_qs));
        QCOMPARE(pane.bytes().count(kConnected), 2);
    }

    // The server closes, or resets, the connection and stops listening for a while: the
    // client tells the loss as ever, retries with no line for each refused attempt and no
    // message, shows amber, and connects again to the same host and port once the server
    // listens again; the connection then works both ways.
    void aDroppedClientConnectsAgain_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::newRow("server closes") << false;
        QTest::newRow("server resets") << true;
    }
    void aDroppedClientConnectsAgain()
    {
        QFETCH(bool, reset);
        WindowUnderTest w;
        DroppingServer server;
        LogPane& pane = *w.ui->Text4;
        StateLight& light = lamp(*w, "clientLight");
        QVERIFY(setPaneOption(pane, kReconnect, true));
        connectClient(w, server.port);
        QTRY_VERIFY(server.peer);

        // Each time the client begins to connect.
        int attempts = 0;
        SocketControl& socket = *w->Winsock2;
        connect(&socket, &SocketControl::stateChanged, this,
                [&socket, &attempts] { attempts += socket.state() == SocketControl::Connecting; });
        server.drop(reset);
        QTRY_VERIFY(pane.text().endsWith(u"*** Desconectado\r\n"_qs));
        const QString lost = pane.text();
#ifndef QUORVANE_PORTABLE
        // The portable build tells a reset as a close: Qt reports both alike.
        QCOMPARE(lost.contains(u"*** Error : "_qs), reset);
#endif
        QTRY_COMPARE(light.lamp(), Lamp::Amber);
        QCOMPARE(light.text(), u"Reconectando a 127.0.0.1:%1"_qs.arg(server.port));
        // Two attempts refused (half a second, then one more): neither logged nor told.
        QTRY_VERIFY_WITH_TIMEOUT(attempts >= 2, 10000);
        QCOMPARE(pane.text(), lost);
        QVERIFY(w.messages->shown.empty());
        QCOMPARE(light.lamp(), Lamp::Amber);

        QVERIFY(server.listenAgain());
        QTRY_VERIFY_WITH_TIMEOUT(pane.text().endsWith(u"Conectado a 127.0.0.1\r\n"_qs), 10000);
        QCOMPARE(pane.text(), lost + u"Conectado a 127.0.0.1\r\n"_qs);
        QCOMPARE(server.connections, 2);
        QTRY_COMPARE(light.lamp(), Lamp::Green);
        server.peer->write("hola");
        QTRY_VERIFY(pane.text().endsWith(u"Servidor : hola\r\n"_qs));
        w.ui->txtSend2->setText(u"eco"_qs);
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QByteArray got;
        QTRY_COMPARE(got += server.peer->readAll(), QByteArray("eco"));
        QVERIFY(w.messages->shown.empty());
    }

    // "Desconectar" and a change of transport end the client's retrying: the lamp is no longer
    // amber, which it is for as long as an attempt is due. Turning the option off too.
    // With the option off, a dropped connection stays closed, as designed.
    void theOperatorEndsTheClientRetrying_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("Desconectar") << u"Desconectar"_qs;
        QTest::newRow("UDP chosen") << u"UDP"_qs;
        QTest::newRow("option off") << u"option off"_qs;
        QTest::newRow("never on") << u"never on"_qs;
    }
    void theOperatorEndsTheClientRetrying()
    {
        QFETCH(QString, ending);
        WindowUnderTest w;
        DroppingServer server;
        LogPane& pane = *w.ui->Text4;
        StateLight& light = lamp(*w, "clientLight");
        QVERIFY(setPaneOption(pane, kReconnect, ending != u"never on"));
        connectClient(w, server.port);
        QTRY_VERIFY(server.peer);
        server.drop(false);
        QTRY_VERIFY(pane.text().endsWith(u"*** Desconectado\r\n"_qs));

        if (ending == u"Desconectar") {
            QTRY_COMPARE(light.lamp(), Lamp::Amber);
            QTest::mouseClick(w.ui->Command1, Qt::LeftButton);
        } else if (ending == u"UDP") {
            QTRY_COMPARE(light.lamp(), Lamp::Amber);
            QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        } else if (ending == u"option off") {
            QTRY_COMPARE(light.lamp(), Lamp::Amber);
            QVERIFY(setPaneOption(pane, kReconnect, false));
        }
        QTRY_COMPARE(light.lamp(), Lamp::Off);
        QCOMPARE(light.text(), u"Cerrado"_qs);
        QCOMPARE(w->Winsock2->state(), std::int16_t(SocketControl::Closed));
        QCOMPARE(server.connections, 1);
    }
};

QTEST_MAIN(TestReconnection)
#include "tst_reconnection.moc"
