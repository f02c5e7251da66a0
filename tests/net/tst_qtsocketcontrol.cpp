#include "base/ControlError.h"
#include "base/SingleByteCodec.h"
#include "net/QtSocketControl.h"
#include "support/ByteSamples.h"
#include "support/peers/LinePeer.h"
#include "support/peers/Loopback.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <QUdpSocket>

#include <functional>

namespace {

// A listening control that accepts every request the way the server endpoint does: close the
// listener, accept on the same object. Everything it receives is kept in order.
struct AcceptingServer {
    explicit AcceptingServer(quint16 port)
    {
        control.setProtocol(SocketControl::Tcp);
        control.setLocalPort(port);
        control.Listen();
        QObject::connect(&control, &SocketControl::connectionRequest, [this](std::int32_t id) {
            stateAtRequest = control.state();
            if (control.state() != SocketControl::Closed)
                control.Close();
            control.Accept(id);
            ++accepted;
        });
        QObject::connect(&control, &SocketControl::dataArrival, [this] {
            events += 'D';
            received += control.GetData();
        });
        QObject::connect(&control, &SocketControl::peerClosed, [this] { events += 'C'; });
    }

    QtSocketControl control;
    int accepted = 0;
    std::int16_t stateAtRequest = -1;
    QByteArray received;
    QByteArray events;
};

// Tries a refused operation. Squatters hold a TCP and a UDP port for it to try taking.
using Operation = std::function<void(QtSocketControl&, quint16 tcpBusy, quint16 udpBusy)>;

QString refusal(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const ControlError& e) {
        return e.description();
    }
    return QStringLiteral("<not refused>");
}

} // namespace

class TestQtSocketControl : public QObject {
    Q_OBJECT

private slots:
    void closeIsAlwaysSafe()
    {
        QtSocketControl never;
        never.Close();
        never.Close();
        QCOMPARE(never.state(), SocketControl::Closed);

        QtSocketControl listening;
        listening.setLocalPort(freeTcpPort());
        listening.Listen();
        QSignalSpy closed(&listening, &SocketControl::peerClosed);
        listening.Close();
        listening.Close();
        QCOMPARE(listening.state(), SocketControl::Closed);
        QCOMPARE(closed.count(), 0);
    }

    void aPeerIsAcceptedOnTheSameObjectAndNothingItSentIsLost()
    {
        const quint16 port = freeTcpPort();
        AcceptingServer server(port);
        QCOMPARE(server.control.state(), SocketControl::Listening);

        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        peer.write("early");
        QTRY_COMPARE(server.accepted, 1);
        QCOMPARE(server.stateAtRequest, SocketControl::Listening);
        QCOMPARE(server.control.state(), SocketControl::Connected);
        QCOMPARE(server.control.remoteHostIP(), QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(server.received, QByteArray("early"));

        peer.write("late");
        QTRY_COMPARE(server.received, QByteArray("earlylate"));
        server.control.SendData(u"respuesta");
        QTRY_COMPARE(peer.bytesAvailable(), qint64(9));
        QCOMPARE(peer.readAll(), QByteArray("respuesta"));
    }

    void aSecondPeerIsRefusedWhileTheFirstIsConnected()
    {
        const quint16 port = freeTcpPort();
        AcceptingServer server(port);
        QTcpSocket first;
        first.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(server.accepted, 1);

        QTcpSocket second;
        QSignalSpy secondFailed(&second, &QAbstractSocket::errorOccurred);
        second.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(secondFailed.wait(5000));
        QCOMPARE(second.error(), QAbstractSocket::ConnectionRefusedError);
        QCOMPARE(server.accepted, 1);
        first.write("x");
        QTRY_COMPARE(server.received, QByteArray("x"));
    }

    void aPeerThatSendsAndLeavesGivesEveryByteBeforeTheClose()
    {
        const quint16 port = freeTcpPort();
        AcceptingServer server(port);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(peer.waitForConnected(5000));
        QByteArray burst(1 << 20, 'z');
        burst.append(allByteValues());
        peer.write(burst);
        peer.disconnectFromHost();
        QTRY_VERIFY(server.events.endsWith('C'));
        QCOMPARE(server.received, burst);
        QCOMPARE(server.events.count('C'), 1);
        QVERIFY(!server.events.mid(0, server.events.size() - 1).contains('C'));
        QCOMPARE(server.control.state(), SocketControl::Closing);
    }

    // Held, a connection tells nothing, however much its peer sends: what the system and Qt's
    // buffer take waits there, and the peer waits on TCP's flow control. Released, every byte
    // comes, in order, then the peer's goodbye.
    void heldReadingTellsNothingUntilReleasedAndLosesNothing()
    {
        const quint16 port = freeTcpPort();
        AcceptingServer server(port);
        const PeerStream stream(17);
        LinePeer peer(connectToLoopback(port), LinePeer::Kind::Socket, stream);
        QTRY_COMPARE(server.accepted, 1);
        server.control.setReadingHeld(true);
        // Far more than the system and Qt's buffer hold for a reader that reads nothing.
        const qint64 total = qint64(64) << 20;
        peer.send(total);
        peer.finish();
        QTRY_VERIFY(peer.written() > QtSocketControl::kReadChunk);
        QCoreApplication::processEvents();
        QCOMPARE(server.events, QByteArray());
        QVERIFY(peer.written() < total);

        server.control.setReadingHeld(false);
        QTRY_VERIFY_WITH_TIMEOUT(server.events.endsWith('C'), 60'000);
        QCOMPARE(server.events.count('C'), 1);
        QCOMPARE(server.received.size(), total);
        QVERIFY(server.received == stream.bytes(0, total));
    }

    void thePortCanBeListenedOnAgainRightAfterAPeerLeaves()
    {
        const quint16 port = freeTcpPort();
        AcceptingServer server(port);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(server.accepted, 1);
        peer.write("hola");
        QTRY_COMPARE(server.received, QByteArray("hola"));
        // This side closes first, so its end of the old connection lingers in TIME_WAIT.
        server.control.Close();
        QTRY_COMPARE(peer.state(), QAbstractSocket::UnconnectedState);
        server.control.setLocalPort(port);
        server.control.Listen();
        QTcpSocket again;
        again.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(server.accepted, 2);
    }

    void ipv6PeersAreServedToo()
    {
        const quint16 port = freeTcpPort();
        AcceptingServer server(port);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHostIPv6, port);
        if (!peer.waitForConnected(5000))
            QSKIP("this machine has no IPv6 loopback");
        QTRY_COMPARE(server.accepted, 1);
        QCOMPARE(server.control.remoteHostIP(), QStringLiteral("::1"));
    }

    void connectingNeverBlocksAndReportsTheOutcome()
    {
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
        QtSocketControl client;
        client.setRemoteHost(QStringLiteral("127.0.0.1"));
        client.setRemotePort(peer.serverPort());
        QSignalSpy connected(&client, &SocketControl::connected);
        client.Connect();
        QVERIFY(client.state() == SocketControl::Connecting ||
                client.state() == SocketControl::Connected);
        QVERIFY(connected.wait(5000));
        QCOMPARE(client.state(), SocketControl::Connected);
        QCOMPARE(client.remoteHostIP(), QStringLiteral("127.0.0.1"));

        QTRY_VERIFY(peer.hasPendingConnections());
        QTcpSocket* far = peer.nextPendingConnection();
        client.SendData(allByteValuesText());
        QTRY_COMPARE(far->bytesAvailable(), qint64(256));
        QCOMPARE(far->readAll(), allByteValues());

        QSignalSpy arrival(&client, &SocketControl::dataArrival);
        far->write(allByteValues());
        QVERIFY(arrival.wait(5000));
        QByteArray got = client.GetData();
        while (got.size() < 256 && arrival.wait(5000))
            got += client.GetData();
        QCOMPARE(got, allByteValues());

        QSignalSpy closed(&client, &SocketControl::peerClosed);
        far->disconnectFromHost();
        QVERIFY(closed.wait(5000));
    }

    void connectionFailuresComeAsErrorEventsNamingHostAndPort()
    {
        const quint16 port = freeTcpPort();
        QtSocketControl client;
        client.setRemoteHost(QStringLiteral("127.0.0.1"));
        client.setRemotePort(port);
        QSignalSpy failed(&client, &SocketControl::errorOccurred);
        QSignalSpy closed(&client, &SocketControl::peerClosed);
        client.Connect();
        QVERIFY(failed.wait(5000));
        const QString description = failed.at(0).at(1).toString();
        QVERIFY2(description.contains(u"127.0.0.1") && description.contains(QString::number(port)),
                 qPrintable(description));
        QVERIFY(description.contains(u"rechazó"));
        QCOMPARE(client.state(), SocketControl::Failed);
        QCOMPARE(closed.count(), 0);
        client.Close();
        QCOMPARE(client.state(), SocketControl::Closed);
    }

    // A scope in an IPv6 address ("%1") is part of the host as the operator typed it, and stays
    // so in the description.
    void anIpv6ScopeStaysInTheDescription()
    {
        const quint16 port = freeTcpPort();
        QtSocketControl client;
        client.setRemoteHost(QStringLiteral("::1%1"));
        client.setRemotePort(port);
        QSignalSpy failed(&client, &SocketControl::errorOccurred);
        client.Connect();
        if (!failed.wait(5000))
            QSKIP("no IPv6 loopback with scope 1 on this machine");
        const QString description = failed.at(0).at(1).toString();
        if (!description.contains(u"rechazó"))
            QSKIP("no IPv6 loopback with scope 1 on this machine");
        QCOMPARE(description, QStringLiteral("El equipo ::1%1 rechazó la conexión en el puerto %2: "
                                             "nadie escucha en él.")
                                  .arg(QStringLiteral("%1"), QString::number(port)));
    }

    // Host texts that no name could match are refused before any lookup leaves the machine.
    void hostTextsNoNameCanHoldAreRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty") << QString() << QStringLiteral("No se indicó el equipo remoto");
        QTest::newRow("blank") << QStringLiteral("   ")
                               << QStringLiteral("No se indicó el equipo remoto");
        QTest::newRow("space inside")
            << QStringLiteral("mi equipo")
            << QStringLiteral("«mi equipo» no es una dirección IP ni un nombre");
        QTest::newRow("punctuation") << QStringLiteral("!!") << QStringLiteral("«!!» no es");
        QTest::newRow("bad dotted address")
            << QStringLiteral("192.168.1.300")
            << QStringLiteral("«192.168.1.300» no es una dirección IP válida");
    }
    void hostTextsNoNameCanHoldAreRefusedAtOnce()
    {
        QFETCH(QString, host);
        QFETCH(QString, says);
        QtSocketControl client;
        client.setRemoteHost(host);
        client.setRemotePort(9);
        const QString description = refusal([&] { client.Connect(); });
        QVERIFY2(description.contains(says), qPrintable(description));
        QCOMPARE(client.state(), SocketControl::Closed);

        client.Close();
        client.setProtocol(SocketControl::Udp);
        const QString udpDescription = refusal([&] { client.SendData(u"x"); });
        QVERIFY2(udpDescription.contains(says) || host.trimmed().isEmpty(),
                 qPrintable(udpDescription));
        QVERIFY(udpDescription != QStringLiteral("<not refused>"));
    }

    // An IP address, "localhost" and the names of the hosts file (underscores included) need no
    // name server: a datagram to them goes out within SendData, and a connection is made.
    void namesTheMachineKnowsCostNoWait_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("address") << QStringLiteral("127.0.0.1");
        QTest::newRow("localhost") << QStringLiteral("LocalHost");
        QTest::newRow("hosts file, underscore") << QStringLiteral("plc_1");
        QTest::newRow("hosts file, case and final dot") << QStringLiteral("PLC_1.");
        QTest::newRow("hosts file, second name") << QStringLiteral("panel-2.planta");
    }
    void namesTheMachineKnowsCostNoWait()
    {
        QFETCH(QString, host);
        QTemporaryFile hosts;
        QVERIFY(hosts.open());
        hosts.write("# the bench\n"
                    "not-an-address plc_1\n"
                    "127.0.0.2 plc_10\n"
                    "127.0.0.1\tplc_1   panel-2.planta  # the PLC\n");
        hosts.flush();

        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        QtSocketControl udp;
        udp.setHostsFile(hosts.fileName());
        udp.setProtocol(SocketControl::Udp);
        udp.setRemoteHost(host);
        udp.setRemotePort(peer.localPort());
        QSignalSpy sent(&udp, &SocketControl::datagramSent);
        udp.SendData(u"hola");
        QCOMPARE(udp.datagramsWaiting(), 0);
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), QByteArray("hola"));
        QCOMPARE(sent.count(), 0); // told by SendData returning, not later

        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QtSocketControl tcp;
        tcp.setHostsFile(hosts.fileName());
        tcp.setRemoteHost(host);
        tcp.setRemotePort(server.serverPort());
        QSignalSpy connected(&tcp, &SocketControl::connected);
        tcp.Connect();
        QVERIFY(connected.wait(5000));
        QCOMPARE(tcp.remoteHostIP(), QStringLiteral("127.0.0.1"));
    }

    void datagramsArriveOneEventEachEmptyOnesIncluded()
    {
        const quint16 port = freeUdpPort();
        QtSocketControl endpoint;
        endpoint.setProtocol(SocketControl::Udp);
        endpoint.Bind(QString::number(port));
        QCOMPARE(endpoint.state(), SocketControl::Open);
        QList<QByteArray> got;
        connect(&endpoint, &SocketControl::dataArrival, this,
                [&] { got.append(endpoint.GetData()); });

        QUdpSocket peer;
        peer.writeDatagram("uno", QHostAddress::LocalHost, port);
        peer.writeDatagram(QByteArray(), QHostAddress::LocalHost, port);
        peer.writeDatagram(allByteValues(), QHostAddress::LocalHost, port);
        QTRY_COMPARE(got.size(), 3);
        QCOMPARE(got, (QList<QByteArray>{"uno", QByteArray(), allByteValues()}));
        QCOMPARE(endpoint.remoteHostIP(), QStringLiteral("127.0.0.1"));
    }

    // A burst far larger than the kernel's default buffer is taken whole, in order, while the
    // receiving side is busy elsewhere.
    void aBurstOfDatagramsArrivesWholeAndInOrder()
    {
        const quint16 port = freeUdpPort();
        QtSocketControl endpoint;
        endpoint.setProtocol(SocketControl::Udp);
        endpoint.Bind(QString::number(port));
        QList<QByteArray> got;
        connect(&endpoint, &SocketControl::dataArrival, this,
                [&] { got.append(endpoint.GetData()); });

        constexpr int kCount = 20'000;
        QUdpSocket peer;
        for (int i = 0; i < kCount; ++i) {
            const QByteArray datagram = QByteArray::number(i).rightJustified(16, '.');
            QCOMPARE(peer.writeDatagram(datagram, QHostAddress::LocalHost, port), qint64(16));
        }
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), kCount, 30'000);
        for (int i = 0; i < kCount; ++i)
            QCOMPARE(got[i], QByteArray::number(i).rightJustified(16, '.'));
    }

    void sendDataSendsOneDatagramToTheRemoteHostAndPort()
    {
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        QtSocketControl endpoint;
        endpoint.setProtocol(SocketControl::Udp);
        endpoint.setRemoteHost(QStringLiteral("127.0.0.1"));
        endpoint.setRemotePort(peer.localPort());
        endpoint.SendData(allByteValuesText());
        endpoint.SendData(u"");
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), allByteValues());
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), QByteArray());

        // The reply comes back to the port the send was made from.
        QSignalSpy arrival(&endpoint, &SocketControl::dataArrival);
        peer.writeDatagram("eco", QHostAddress::LocalHost, endpoint.boundPort());
        QVERIFY(arrival.wait(5000));
        QCOMPARE(endpoint.GetData(), QByteArray("eco"));
    }

    void aDatagramSentToItsOwnPortComesBack()
    {
        const quint16 port = freeUdpPort();
        QtSocketControl endpoint;
        endpoint.setProtocol(SocketControl::Udp);
        endpoint.Bind(QString::number(port));
        endpoint.setRemoteHost(QStringLiteral("localhost"));
        endpoint.setRemotePort(port);
        QSignalSpy arrival(&endpoint, &SocketControl::dataArrival);
        endpoint.SendData(u"a mí mismo");
        QVERIFY(arrival.wait(5000));
        QCOMPARE(endpoint.GetData(), QByteArray("a m\xED mismo"));
    }

    void everyRefusalSaysWhatWasWrong_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("says");
        QTest::newRow("local port 0")
            << Operation([](QtSocketControl& s, quint16, quint16) { s.setLocalPort(0); })
            << QStringLiteral("El puerto 0 no es válido: debe estar entre 1 y 65535");
        QTest::newRow("local port 65536")
            << Operation([](QtSocketControl& s, quint16, quint16) { s.setLocalPort(65536); })
            << QStringLiteral("El puerto 65536 no es válido");
        QTest::newRow("remote port 70000, not 4464")
            << Operation([](QtSocketControl& s, quint16, quint16) { s.setRemotePort(70000); })
            << QStringLiteral("El puerto 70000 no es válido");
        QTest::newRow("listen on a port in use")
            << Operation([](QtSocketControl& s, quint16 tcpBusy, quint16) {
                   s.setLocalPort(tcpBusy);
                   s.Listen();
               })
            << QStringLiteral("ya está en uso");
        QTest::newRow("bind to a port in use")
            << Operation([](QtSocketControl& s, quint16, quint16 udpBusy) {
                   s.setProtocol(SocketControl::Udp);
                   s.Bind(QString::number(udpBusy));
               })
            << QStringLiteral("ya está en uso");
        QTest::newRow("bind to no port") << Operation([](QtSocketControl& s, quint16, quint16) {
            s.setProtocol(SocketControl::Udp);
            s.Bind(u"");
        }) << QStringLiteral("No se indicó el puerto");
        QTest::newRow("bind to letters") << Operation([](QtSocketControl& s, quint16, quint16) {
            s.setProtocol(SocketControl::Udp);
            s.Bind(u"abc");
        }) << QStringLiteral("«abc» no es un número de puerto");
        QTest::newRow("bind above 65535") << Operation([](QtSocketControl& s, quint16, quint16) {
            s.setProtocol(SocketControl::Udp);
            s.Bind(u"99999");
        }) << QStringLiteral("El puerto 99999 no es válido");
        QTest::newRow("send with no connection")
            << Operation([](QtSocketControl& s, quint16, quint16) { s.SendData(u"hola"); })
            << QStringLiteral("No hay ninguna conexión establecida");
        QTest::newRow("datagram with nowhere to go")
            << Operation([](QtSocketControl& s, quint16, quint16) {
                   s.setProtocol(SocketControl::Udp);
                   s.SendData(u"hola");
               })
            << QStringLiteral("nada está conectado");
        QTest::newRow("datagram too large") << Operation([](QtSocketControl& s, quint16, quint16) {
            s.setProtocol(SocketControl::Udp);
            s.setRemoteHost(QStringLiteral("127.0.0.1"));
            s.setRemotePort(9);
            s.SendData(QString(65'508, u'x'));
        }) << QStringLiteral("supera el máximo de 65507 bytes");
        QTest::newRow("listen under UDP") << Operation([](QtSocketControl& s, quint16, quint16) {
            s.setProtocol(SocketControl::Udp);
            s.setLocalPort(freeTcpPort());
            s.Listen();
        }) << QStringLiteral("UDP");
        QTest::newRow("bind under TCP") << Operation([](QtSocketControl& s, quint16, quint16) {
            s.Bind(QString::number(freeUdpPort()));
        }) << QStringLiteral("TCP");
        QTest::newRow("protocol change while open")
            << Operation([](QtSocketControl& s, quint16, quint16) {
                   s.setLocalPort(freeTcpPort());
                   s.Listen();
                   s.setProtocol(SocketControl::Udp);
               })
            << QStringLiteral("ciérrelo antes");
        QTest::newRow("accept an unknown request")
            << Operation([](QtSocketControl& s, quint16, quint16) { s.Accept(77); })
            << QStringLiteral("La petición de conexión 77 ya no existe");
        QTest::newRow("listen with no port")
            << Operation([](QtSocketControl& s, quint16, quint16) { s.Listen(); })
            << QStringLiteral("No se indicó el puerto");
    }
    void everyRefusalSaysWhatWasWrong()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, says);
        QTcpServer tcpSquatter;
        QVERIFY(tcpSquatter.listen(QHostAddress::Any, 0));
        QUdpSocket udpSquatter;
        QVERIFY(udpSquatter.bind(QHostAddress::Any, 0));
        QtSocketControl s;
        const QString description =
            refusal([&] { operation(s, tcpSquatter.serverPort(), udpSquatter.localPort()); });
        QVERIFY2(description.contains(says), qPrintable(description));
    }
};

QTEST_MAIN(TestQtSocketControl)
#include "tst_qtsocketcontrol.moc"
