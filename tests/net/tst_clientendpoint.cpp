#include "base/SingleByteCodec.h"
#include "codes/CodeList.h"
#include "net/QtSocketControl.h"
#include "support/ByteSamples.h"
#include "support/ListRows.h"
#include "support/Network.h"
#include "support/WindowUnderTest.h"
#include "support/peers/Loopback.h"
#include "views/LogPane.h"

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

// Who answers the window's question for a name: the system, a stand-in that says "unknown",
// or one that never answers.
enum class Names { System, Unknown, Silent };

// The window, its client socket asking the given name server, and waiting at most
// lookupTimeoutMs for it. It reads no hosts file: whatever this machine's names, every name
// is the name server's to answer.
ServerFrmPlatform askingNameServer(std::unique_ptr<NameServer> nameServer,
                                   int lookupTimeoutMs = QtSocketControl::kLookupTimeoutMs)
{
    auto winsock2 = std::make_unique<QtSocketControl>();
    winsock2->setHostsFile(QString());
    if (nameServer)
        winsock2->setNameServer(std::move(nameServer));
    winsock2->setLookupTimeout(lookupTimeoutMs);
    ServerFrmPlatform platform;
    platform.winsock2 = std::move(winsock2);
    return platform;
}

void chooseUdpAndAddress(WindowUnderTest& w, const QString& host, quint16 port)
{
    QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
    w.ui->txtIP->setText(host);
    w.ui->txtPort2->setText(QString::number(port));
}

void chooseTcpAndAddress(WindowUnderTest& w, const QString& host, const QString& port)
{
    QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
    w.ui->txtIP->setText(host);
    w.ui->txtPort2->setText(port);
}

} // namespace

class TestClientEndpoint : public QObject {
    Q_OBJECT

private slots:
    // An IPv6 peer ("::1" as "IP Remota") is talked to like any other.
    void talkingToAnEchoServer_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("IPv4") << u"127.0.0.1"_qs;
        QTest::newRow("IPv6") << u"::1"_qs;
    }
    void talkingToAnEchoServer()
    {
        QFETCH(QString, host);
        if (!haveLoopback(QHostAddress(host)))
            QSKIP("this machine has no IPv6 loopback");
        EchoServer echo{QHostAddress(host)};
        WindowUnderTest w;
        connectTo(w, echo.serverPort(), host);
        const QString connected = QStringLiteral("Conectado a %1\r\n").arg(host);
        QCOMPARE(w.ui->Text4->text(), connected);
        QCOMPARE(w->Winsock2->state(), SocketControl::Connected);

        w.ui->txtSend2->setText(QStringLiteral("AB"));
        w.ui->txtIP->setFocus();
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QCOMPARE(w.ui->txtSend2->text(), QString());
        QVERIFY(QApplication::focusWidget() != w.ui->txtSend2);
        QTRY_COMPARE(w.ui->Text4->text(),
                     connected + QStringLiteral("Cliente : AB\r\nServidor : AB\r\n"));
        QCOMPARE(rowText(w->codeList(), 0), QStringLiteral(",65,66"));

        // An empty text goes out like any other: logged, nothing refused, still connected.
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QVERIFY(w.ui->Text4->text().endsWith(u"Servidor : AB\r\nCliente : \r\n"));
        QCOMPARE(w->Winsock2->state(), SocketControl::Connected);
        w.ui->txtSend2->setText(QStringLiteral("C"));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QTRY_VERIFY(w.ui->Text4->text().endsWith(u"Cliente : \r\nCliente : C\r\nServidor : C\r\n"));
        QCOMPARE(w->codeList().rowCount(), 2);
        QVERIFY(w.messages->shown.empty());

        // The server leaves: the client says so and stays closed.
        echo.last->disconnectFromHost();
        QTRY_VERIFY(w.ui->Text4->text().endsWith(u"Servidor : C\r\n*** Desconectado\r\n"));
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QCoreApplication::processEvents();
        QCOMPARE(echo.connections, 1);
        QVERIFY(w.messages->shown.empty());
    }

    void disconnectingWorksEvenBeforeAnyTransportIsChosen()
    {
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Command1, Qt::LeftButton);
        QCOMPARE(w.ui->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
        QVERIFY(w.messages->shown.empty());
    }

    void disconnectingEndsAConnection()
    {
        EchoServer echo;
        WindowUnderTest w;
        connectTo(w, echo.serverPort());
        QTRY_VERIFY(echo.last);
        QTest::mouseClick(w.ui->Command1, Qt::LeftButton);
        QCOMPARE(w.ui->Text4->text(),
                 QStringLiteral("Conectado a 127.0.0.1\r\n*** Desconectado\r\n"));
        QTRY_COMPARE(echo.last->state(), QAbstractSocket::UnconnectedState);
    }

    void withNoTransportChosenItAsksForOne()
    {
        WindowUnderTest w;
        w.ui->txtIP->setText(QStringLiteral("127.0.0.1"));
        w.ui->txtPort2->setText(QStringLiteral("7"));
        w.ui->txtSend2->setText(QStringLiteral("hola"));
        QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        const Shown ask{QStringLiteral("Debe Elegir un Protocolo"), MessageIcon::Exclamation};
        QCOMPARE(w.messages->shown, (std::vector<Shown>{ask, ask}));
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QCOMPARE(w.ui->Text4->text(), QString());
        QCOMPARE(w.ui->txtSend2->text(), QStringLiteral("hola"));
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
        QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::Critical);
        QVERIFY2(w.messages->shown[0].text.contains(says), qPrintable(w.messages->shown[0].text));
        QCOMPARE(w.ui->Text4->text(), QString());
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
    }

    // A port field left empty: the old connection is already closed, and the new host set,
    // when the port is refused; the pane says the connection ended.
    void aRefusedConnectWhileConnectedEndsTheOldConnectionAndSaysSo()
    {
        EchoServer echo;
        WindowUnderTest w;
        connectTo(w, echo.serverPort());
        QTRY_VERIFY(echo.last);
        w.ui->txtIP->setText(QStringLiteral("localhost"));
        w.ui->txtPort2->clear();
        QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
        QCOMPARE(w.messages->shown,
                 (std::vector<Shown>{
                     {QStringLiteral("Error : El campo «Puerto» está vacío: escriba un número."),
                      MessageIcon::Critical}}));
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QCOMPARE(w->Winsock2->remoteHost(), QStringLiteral("localhost"));
        QTRY_COMPARE(echo.last->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(w.ui->Text4->text(),
                 QStringLiteral("Conectado a 127.0.0.1\r\n*** Desconectado\r\n"));
    }

    // Failures after the call come as error events: two lines, a closed socket, no box.
    void aRefusedConnectionIsLoggedAndClosed()
    {
        const quint16 port = freeTcpPort();
        WindowUnderTest w;
        chooseTcpAndAddress(w, QStringLiteral("127.0.0.1"), QString::number(port));
        QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
        QTRY_VERIFY(w.ui->Text4->text().endsWith(u"*** Desconectado\r\n"));
        QCOMPARE(
            w.ui->Text4->text(),
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
        w.ui->txtSend2->setText(QStringLiteral("hola"));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::None);
        QVERIFY(w.messages->shown[0].text.startsWith(u"Error : No hay ninguna conexión"));
        QCOMPARE(w.ui->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
        QCOMPARE(w.ui->txtSend2->text(), QStringLiteral("hola"));
    }

    void connectingAgainDropsTheOldConnectionSilently()
    {
        EchoServer echo;
        WindowUnderTest w;
        connectTo(w, echo.serverPort());
        QTRY_VERIFY(echo.last);
        QPointer<QTcpSocket> first = echo.last;
        QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
        QTRY_COMPARE(w.ui->Text4->text(),
                     QStringLiteral("Conectado a 127.0.0.1\r\nConectado a 127.0.0.1\r\n"));
        QTRY_COMPARE(first->state(), QAbstractSocket::UnconnectedState);
        QTRY_COMPARE(echo.connections, 2);
    }

    void datagramsBothWaysWithATestPeer()
    {
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        WindowUnderTest w;
        chooseUdpAndAddress(w, QStringLiteral("localhost"), peer.localPort());
        QVERIFY(!w.ui->bntConnect->isEnabled());
        w.ui->txtSend2->setText(QStringLiteral("ping"));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        // "localhost" needs no name server: the send is done when the click is.
        QCOMPARE(w.ui->Text4->text(), QStringLiteral("Cliente : ping\r\n"));
        QCOMPARE(w.ui->txtSend2->text(), QString());
        QCOMPARE(QApplication::focusWidget(), w.ui->txtSend2);
        QTRY_VERIFY(peer.hasPendingDatagrams());
        const QNetworkDatagram datagram = peer.receiveDatagram();
        QCOMPARE(datagram.data(), QByteArray("ping"));

        peer.writeDatagram(allByteValues(), datagram.senderAddress(),
                           quint16(datagram.senderPort()));
        QTRY_COMPARE(w->codeList().rowCount(), 1);
        QCOMPARE(w->codeList().rows().bytes(0), allByteValues());
        QCOMPARE(w.ui->Text4->bytes(),
                 QByteArray("Cliente : ping\r\nServidor : ") + allByteValues() + "\r\n");
        QCOMPARE(w.ui->Text3->text(), QString());

        w.ui->txtSend2->setText(SingleByteCodec::toText(allByteValues()));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QTRY_VERIFY(peer.hasPendingDatagrams());
        QCOMPARE(peer.receiveDatagram().data(), allByteValues());
    }

    // A name only a name server knows: the window goes on while it is looked up, and a send
    // is logged, and its text taken from the box, only once the datagram went out.
    void aDatagramToANameIsLoggedOnlyOnceItWentOut()
    {
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        auto names = std::make_unique<StandInNameServer>();
        StandInNameServer& nameServer = *names;
        WindowUnderTest w(askingNameServer(std::move(names)));
        chooseUdpAndAddress(w, QStringLiteral("plc.planta"), peer.localPort());
        w.ui->txtSend2->setText(QStringLiteral("uno"));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QCOMPARE(nameServer.asked, QStringList{QStringLiteral("plc.planta")});
        QCOMPARE(w.ui->Text4->text(), QString());
        QCOMPARE(w.ui->txtSend2->text(), QStringLiteral("uno"));

        // Meanwhile a datagram comes in, and the operator sends a second text.
        const auto* winsock2 = static_cast<QtSocketControl*>(w->Winsock2.get());
        peer.writeDatagram("eco", QHostAddress::LocalHost, winsock2->boundPort());
        QTRY_COMPARE(w.ui->Text4->text(), QStringLiteral("Servidor : eco\r\n"));
        w.ui->txtSend2->setText(QStringLiteral("dos"));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QVERIFY(!peer.hasPendingDatagrams());

        nameServer.answer({QHostAddress(QHostAddress::LocalHost)});
        QCOMPARE(w.ui->Text4->text(), QStringLiteral("Servidor : eco\r\nCliente : uno\r\n"));
        QCOMPARE(w.ui->txtSend2->text(), QStringLiteral("dos")); // typed after "uno" left: kept
        nameServer.answer({QHostAddress(QHostAddress::LocalHost)});
        QCOMPARE(w.ui->Text4->text(),
                 QStringLiteral("Servidor : eco\r\nCliente : uno\r\nCliente : dos\r\n"));
        QCOMPARE(w.ui->txtSend2->text(), QString());
        QCOMPARE(QApplication::focusWidget(), w.ui->txtSend2);
        for (const QByteArray& expected : {QByteArray("uno"), QByteArray("dos")}) {
            QTRY_VERIFY(peer.hasPendingDatagrams());
            QCOMPARE(peer.receiveDatagram().data(), expected);
        }
        QVERIFY(w.messages->shown.empty());

        // Up recalls them like any text sent, the newest first.
        for (const QString& recalled : {u"dos"_qs, u"uno"_qs}) {
            QTest::keyClick(w.ui->txtSend2, Qt::Key_Up);
            QCOMPARE(w.ui->txtSend2->text(), recalled);
        }
    }

    // A name that is not found, or not in time, is a refused send: the message without an
    // icon, "*** Desconectado", the text kept, nothing claimed as sent.
    void aNameThatCannotBeResolvedIsARefusedSend_data()
    {
        QTest::addColumn<Names>("nameServer");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("says");
        // A reserved name that never resolves; with no network it fails at once.
        QTest::newRow("reserved name, system resolver")
            << Names::System << QStringLiteral("nohost.invalid")
            << QStringLiteral("«nohost.invalid»");
        QTest::newRow("not found, underscore name")
            << Names::Unknown << QStringLiteral("plc_1")
            << QStringLiteral("Error : No se encontró el equipo «plc_1».");
        QTest::newRow("no answer in time")
            << Names::Silent << QStringLiteral("plc.planta")
            << QStringLiteral("Error : No se pudo averiguar la dirección del equipo «plc.planta»: "
                              "el servidor de nombres no respondió en 0,02 s.");
    }
    void aNameThatCannotBeResolvedIsARefusedSend()
    {
        QFETCH(Names, nameServer);
        QFETCH(QString, host);
        QFETCH(QString, says);
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        auto standIn = std::make_unique<StandInNameServer>();
        StandInNameServer& names = *standIn;
        WindowUnderTest w(nameServer == Names::System ? askingNameServer(nullptr)
                                                      : askingNameServer(std::move(standIn), 20));
        chooseUdpAndAddress(w, host, peer.localPort());
        w.ui->txtSend2->setText(QStringLiteral("uno"));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QCOMPARE(w.ui->Text4->text(), QString());
        if (nameServer == Names::Unknown)
            names.answer({});
        QTRY_COMPARE_WITH_TIMEOUT(w.messages->shown.size(), std::size_t(1), 10'000);
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::None);
        QVERIFY2(w.messages->shown[0].text.contains(says), qPrintable(w.messages->shown[0].text));
        QCOMPARE(w.ui->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
        QCOMPARE(w.ui->txtSend2->text(), QStringLiteral("uno"));
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QCOMPARE(w->Winsock2->datagramsWaiting(), 0);
        QVERIFY(!peer.hasPendingDatagrams());
    }

    // Bound by the server frame, sent by the client frame: the window talks to itself, over
    // IPv6 too.
    void theWindowsTwoFramesExchangeDatagrams_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("IPv4") << u"127.0.0.1"_qs;
        QTest::newRow("IPv6") << u"::1"_qs;
    }
    void theWindowsTwoFramesExchangeDatagrams()
    {
        QFETCH(QString, host);
        if (!haveLoopback(QHostAddress(host)))
            QSKIP("this machine has no IPv6 loopback");
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        const quint16 port = freeUdpPort();
        w.ui->txtPort->setText(QString::number(port));
        QTest::mouseClick(w.ui->bntListen, Qt::LeftButton);
        QCOMPARE(w->Winsock2->state(), SocketControl::Open);
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);

        w.ui->txtIP->setText(host);
        w.ui->txtPort2->setText(QString::number(port));
        w.ui->txtSend2->setText(QStringLiteral("hola"));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QTRY_COMPARE(w->codeList().rowCount(), 1);
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton); // an empty datagram
        QTRY_COMPARE(w->codeList().rowCount(), 2);
        QCOMPARE(rowText(w->codeList(), 0), QStringLiteral(",104,111,108,97"));
        QCOMPARE(rowText(w->codeList(), 1), QString());
        QCOMPARE(
            w.ui->Text4->text(),
            QStringLiteral("Cliente : hola\r\nServidor : hola\r\nCliente : \r\nServidor : \r\n"));
        QCOMPARE(w.ui->Text3->text(), QString());
        QVERIFY(w.messages->shown.empty());
    }

    void aDatagramTooLargeIsRefusedAndTheTextKept()
    {
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        w.ui->txtIP->setText(QStringLiteral("127.0.0.1"));
        w.ui->txtPort2->setText(QString::number(freeUdpPort()));
        const QString big(65'508, u'x');
        w.ui->txtSend2->setText(big);
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::None);
        QVERIFY(w.messages->shown[0].text.contains(u"65508 bytes supera el máximo de 65507"));
        QCOMPARE(w.ui->txtSend2->text(), big);
        QCOMPARE(w.ui->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
    }

    void aDatagramWithNoPortIsRefused()
    {
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        w.ui->txtIP->setText(QStringLiteral("127.0.0.1"));
        w.ui->txtSend2->setText(QStringLiteral("hola"));
        QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        QCOMPARE(w.messages->shown,
                 (std::vector<Shown>{
                     {QStringLiteral("Error : El campo «Puerto» está vacío: escriba un número."),
                      MessageIcon::None}}));
        QCOMPARE(w.ui->Text4->text(), QStringLiteral("*** Desconectado\r\n"));
    }
};

QTEST_MAIN(TestClientEndpoint)
#include "tst_clientendpoint.moc"
