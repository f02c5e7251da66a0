#include "codes/CodeList.h"
#include "platform/LogPane.h"
#include "platform/SingleByteCodec.h"
#include "support/ByteSamples.h"
#include "support/Loopback.h"
#include "support/WindowUnderTest.h"

#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using Shown = RecordingMessages::Shown;

namespace {

// A loopback TCP server that sends back whatever it receives, and counts its connections.
class EchoServer : public QTcpServer {
public:
    EchoServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* peer = nextPendingConnection()) {
                ++connections;
                last = peer;
                connect(peer, &QIODevice::readyRead, peer,
                        [peer] { peer->write(peer->readAll()); });
            }
        });
    }
    int connections = 0;
    QPointer<QTcpSocket> last;
};

void chooseTcpAndAddress(WindowUnderTest& w, const QString& host, const QString& port)
{
    QTest::mouseClick(w->Option1, Qt::LeftButton);
    w->txtIP->setText(host);
    w->txtPort2->setText(port);
}

void connectTo(WindowUnderTest& w, quint16 port)
{
    chooseTcpAndAddress(w, QStringLiteral("127.0.0.1"), QString::number(port));
    QTest::mouseClick(w->bntConnect, Qt::LeftButton);
    QTRY_VERIFY(w->Text4->text().endsWith(u"Conectado a 127.0.0.1\r\n"));
}

} // namespace

class TestClientEndpoint : public QObject {
    Q_OBJECT

private slots:
    void talkingToAnEchoServer()
    {
        EchoServer echo;
        WindowUnderTest w;
        connectTo(w, echo.serverPort());
        QCOMPARE(w->Text4->text(), QStringLiteral("Conectado a 127.0.0.1\r\n"));
        QCOMPARE(w->Winsock2->state(), SocketControl::Connected);

        w->txtSend2->setText(QStringLiteral("AB"));
        w->txtIP->setFocus();
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QCOMPARE(w->txtSend2->text(), QString());
        QVERIFY(QApplication::focusWidget() != w->txtSend2);
        QTRY_COMPARE(w->Text4->text(),
                     QStringLiteral("Conectado a 127.0.0.1\r\nCliente : AB\r\nServidor : AB\r\n"));
        QCOMPARE(w->codeList().rowText(0), QStringLiteral(",65,66"));

        // An empty text goes out like any other: logged, nothing refused, still connected.
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QVERIFY(w->Text4->text().endsWith(u"Servidor : AB\r\nCliente : \r\n"));
        QCOMPARE(w->Winsock2->state(), SocketControl::Connected);
        w->txtSend2->setText(QStringLiteral("C"));
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QTRY_VERIFY(w->Text4->text().endsWith(u"Cliente : \r\nCliente : C\r\nServidor : C\r\n"));
        QCOMPARE(w->codeList().rowCount(), 2);
        QVERIFY(w.messages->shown.empty());

        // The server leaves: the client says so and stays closed.
        echo.last->disconnectFromHost();
        QTRY_VERIFY(w->Text4->text().endsWith(u"Servidor : C\r\n*** Desconectado\r\n"));
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QCoreApplication::processEvents();
        QCOMPARE(echo.connections, 1);
        QVERIFY(w.messages->shown.empty());
    }

    void disconnectingWorksEvenBeforeAnyTransportIsChosen()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(w->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
        QVERIFY(w.messages->shown.empty());
    }

    void disconnectingEndsAConnection()
    {
        EchoServer echo;
        WindowUnderTest w;
        connectTo(w, echo.serverPort());
        QTRY_VERIFY(echo.last);
        QTest::mouseClick(w->Command1, Qt::LeftButton);
        QCOMPARE(w->Text4->text(), QStringLiteral("Conectado a 127.0.0.1\r\n*** Desconectado\r\n"));
        QTRY_COMPARE(echo.last->state(), QAbstractSocket::UnconnectedState);
    }

    void withNoTransportChosenItAsksForOne()
    {
        WindowUnderTest w;
        w->txtIP->setText(QStringLiteral("127.0.0.1"));
        w->txtPort2->setText(QStringLiteral("7"));
        w->txtSend2->setText(QStringLiteral("hola"));
        QTest::mouseClick(w->bntConnect, Qt::LeftButton);
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        const Shown ask{QStringLiteral("Debe Elegir un Protocolo"), MessageIcon::Exclamation};
        QCOMPARE(w.messages->shown, (std::vector<Shown>{ask, ask}));
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QCOMPARE(w->Text4->text(), QString());
        QCOMPARE(w->txtSend2->text(), QStringLiteral("hola"));
    }

    // The connect trap: the critical message only; nothing is logged.
    void aRefusedConnectIsToldWithoutALogLine_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty port") << QStringLiteral("127.0.0.1") << QString()
                                    << QStringLiteral("Error : El campo «Puerto» está vacío");
        QTest::newRow("port above 65535") << QStringLiteral("127.0.0.1") << QStringLiteral("99999")
                                          << QStringLiteral("Error : El puerto 99999 no es válido");
        QTest::newRow("no host") << QString() << QStringLiteral("80")
                                 << QStringLiteral("Error : No se indicó el equipo remoto");
        QTest::newRow("host no name can be")
            << QStringLiteral("a b") << QStringLiteral("80")
            << QStringLiteral("«a b» no es una dirección IP ni un nombre");
    }
    void aRefusedConnectIsToldWithoutALogLine()
    {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, says);
        WindowUnderTest w;
        chooseTcpAndAddress(w, host, port);
        QTest::mouseClick(w->bntConnect, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::Critical);
        QVERIFY2(w.messages->shown[0].text.contains(says), qPrintable(w.messages->shown[0].text));
        QCOMPARE(w->Text4->text(), QString());
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
    }

    // A port field left empty: the old connection is already closed, silently, and the new
    // host set, when the port is refused.
    void aRefusedConnectWhileConnectedEndsTheOldConnectionSilently()
    {
        EchoServer echo;
        WindowUnderTest w;
        connectTo(w, echo.serverPort());
        QTRY_VERIFY(echo.last);
        w->txtIP->setText(QStringLiteral("localhost"));
        w->txtPort2->clear();
        QTest::mouseClick(w->bntConnect, Qt::LeftButton);
        QCOMPARE(w.messages->shown,
                 (std::vector<Shown>{
                     {QStringLiteral("Error : El campo «Puerto» está vacío: escriba un número."),
                      MessageIcon::Critical}}));
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QCOMPARE(w->Winsock2->remoteHost(), QStringLiteral("localhost"));
        QTRY_COMPARE(echo.last->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(w->Text4->text(), QStringLiteral("Conectado a 127.0.0.1\r\n"));
    }

    // Failures after the call come as error events: two lines, a closed socket, no box.
    void aRefusedConnectionIsLoggedAndClosed()
    {
        const quint16 port = freeTcpPort();
        WindowUnderTest w;
        chooseTcpAndAddress(w, QStringLiteral("127.0.0.1"), QString::number(port));
        QTest::mouseClick(w->bntConnect, Qt::LeftButton);
        QTRY_VERIFY(w->Text4->text().endsWith(u"*** Desconectado\r\n"));
        QCOMPARE(
            w->Text4->text(),
            QStringLiteral("*** Error : El equipo 127.0.0.1 rechazó la conexión en el puerto %1: "
                           "nadie escucha en él.\r\n*** Desconectado\r\n")
                .arg(port));
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QVERIFY(w.messages->shown.empty());
    }

    void aSendWithNoConnectionIsToldAndClosed()
    {
        WindowUnderTest w;
        chooseTcpAndAddress(w, QStringLiteral("127.0.0.1"), QStringLiteral("9"));
        w->txtSend2->setText(QStringLiteral("hola"));
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::None);
        QVERIFY(w.messages->shown[0].text.startsWith(u"Error : No hay ninguna conexión"));
        QCOMPARE(w->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
        QCOMPARE(w->txtSend2->text(), QStringLiteral("hola"));
    }

    void connectingAgainDropsTheOldConnectionSilently()
    {
        EchoServer echo;
        WindowUnderTest w;
        connectTo(w, echo.serverPort());
        QTRY_VERIFY(echo.last);
        QPointer<QTcpSocket> first = echo.last;
        QTest::mouseClick(w->bntConnect, Qt::LeftButton);
        QTRY_COMPARE(w->Text4->text(),
                     QStringLiteral("Conectado a 127.0.0.1\r\nConectado a 127.0.0.1\r\n"));
        QTRY_COMPARE(first->state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(echo.connections, 2);
    }

    void datagramsBothWaysWithATestPeer()
    {
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        WindowUnderTest w;
        QTest::mouseClick(w->Option2, Qt::LeftButton);
        QVERIFY(!w->bntConnect->isEnabled());
        w->txtIP->setText(QStringLiteral("127.0.0.1"));
        w->txtPort2->setText(QString::number(peer.localPort()));
        w->txtSend2->setText(QStringLiteral("ping"));
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QTRY_VERIFY(peer.hasPendingDatagrams());
        const QNetworkDatagram datagram = peer.receiveDatagram();
        QCOMPARE(datagram.data(), QByteArray("ping"));
        QCOMPARE(w->Text4->text(), QStringLiteral("Cliente : ping\r\n"));
        QCOMPARE(w->txtSend2->text(), QString());
        QCOMPARE(QApplication::focusWidget(), w->txtSend2);

        peer.writeDatagram(allByteValues(), datagram.senderAddress(),
                           quint16(datagram.senderPort()));
        QTRY_COMPARE(w->codeList().rowCount(), 1);
        QCOMPARE(w->codeList().rows().bytes(0), allByteValues());
        QCOMPARE(w->Text4->bytes(),
                 QByteArray("Cliente : ping\r\nServidor : ") + allByteValues() + "\r\n");
        QCOMPARE(w->Text3->text(), QString());

        w->txtSend2->setText(SingleByteCodec::toText(allByteValues()));
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), allByteValues());
    }

    // Bound by the server frame, sent by the client frame: the window talks to itself.
    void theWindowsTwoFramesExchangeDatagrams()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Option2, Qt::LeftButton);
        const quint16 port = freeUdpPort();
        w->txtPort->setText(QString::number(port));
        QTest::mouseClick(w->bntListen, Qt::LeftButton);
        QCOMPARE(w->Winsock2->state(), SocketControl::Open);
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);

        w->txtIP->setText(QStringLiteral("127.0.0.1"));
        w->txtPort2->setText(QString::number(port));
        w->txtSend2->setText(QStringLiteral("hola"));
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QTRY_COMPARE(w->codeList().rowCount(), 1);
        QTest::mouseClick(w->bntSend2, Qt::LeftButton); // an empty datagram
        QTRY_COMPARE(w->codeList().rowCount(), 2);
        QCOMPARE(w->codeList().rowText(0), QStringLiteral(",104,111,108,97"));
        QCOMPARE(w->codeList().rowText(1), QString());
        QCOMPARE(
            w->Text4->text(),
            QStringLiteral("Cliente : hola\r\nServidor : hola\r\nCliente : \r\nServidor : \r\n"));
        QCOMPARE(w->Text3->text(), QString());
        QVERIFY(w.messages->shown.empty());
    }

    void aDatagramTooLargeIsRefusedAndTheTextKept()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Option2, Qt::LeftButton);
        w->txtIP->setText(QStringLiteral("127.0.0.1"));
        w->txtPort2->setText(QString::number(freeUdpPort()));
        const QString big(65'508, u'x');
        w->txtSend2->setText(big);
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::None);
        QVERIFY(w.messages->shown[0].text.contains(u"65508 bytes supera el máximo de 65507"));
        QCOMPARE(w->txtSend2->text(), big);
        QCOMPARE(w->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
    }

    void aDatagramWithNoPortIsRefused()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Option2, Qt::LeftButton);
        w->txtIP->setText(QStringLiteral("127.0.0.1"));
        w->txtSend2->setText(QStringLiteral("hola"));
        QTest::mouseClick(w->bntSend2, Qt::LeftButton);
        QCOMPARE(w.messages->shown,
                 (std::vector<Shown>{
                     {QStringLiteral("Error : El campo «Puerto» está vacío: escriba un número."),
                      MessageIcon::None}}));
        QCOMPARE(w->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
    }
};

QTEST_MAIN(TestClientEndpoint)
#include "tst_clientendpoint.moc"
