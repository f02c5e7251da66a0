#include "base/SingleByteCodec.h"
#include "codes/CodeList.h"
#include "support/ByteSamples.h"
#include "support/ListRows.h"
#include "support/Network.h"
#include "support/WindowUnderTest.h"
#include "support/peers/Loopback.h"
#include "views/LogPane.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using Shown = RecordingMessages::Shown;

namespace {

bool refusedAt(quint16 port)
{
    QTcpSocket probe;
    QSignalSpy failed(&probe, &QAbstractSocket::errorOccurred);
    probe.connectToHost(QHostAddress::LocalHost, port);
    return failed.wait(5000) && probe.error() == QAbstractSocket::ConnectionRefusedError;
}

} // namespace

class TestServerEndpoint : public QObject {
    Q_OBJECT

private slots:
    // A peer over IPv6 is served like any other, and named by its IPv6 address.
    void theRoadOfAServerExchange_data()
    {
        QTest::addColumn<QString>("peerAddress");
        QTest::newRow("IPv4") << u"127.0.0.1"_qs;
        QTest::newRow("IPv6") << u"::1"_qs;
    }
    void theRoadOfAServerExchange()
    {
        QFETCH(QString, peerAddress);
        if (!haveLoopback(QHostAddress(peerAddress)))
            QSKIP("this machine has no IPv6 loopback");
        WindowUnderTest w;
        const quint16 port = listenUnderTcp(w);
        QCOMPARE(w->Winsock1->state(), SocketControl::Listening);
        QCOMPARE(w.ui->Text3->text(), QString());

        auto peer = connectPeer(w, port, QHostAddress(peerAddress));
        QVERIFY(peer);
        const QString connected = QStringLiteral("Cliente conectado. IP : %1\r\n").arg(peerAddress);
        QCOMPARE(w.ui->Text3->text(), connected);

        peer->write("AB");
        QTRY_COMPARE(w.ui->Text3->text(), connected + QStringLiteral("Cliente : AB\r\n"));
        QCOMPARE(w->codeList().rowCount(), 1);
        QCOMPARE(rowText(w->codeList(), 0), QStringLiteral(",65,66"));
        QCOMPARE(w.ui->Text3->selStart(), w.ui->Text3->length());

        w.ui->txtSend->setText(QStringLiteral("¡Hola!"));
        QTest::mouseClick(w.ui->bntSend, Qt::LeftButton);
        QTRY_COMPARE(peer->bytesAvailable(), qint64(6));
        QCOMPARE(peer->readAll(), QByteArray("\xA1Hola!"));
        QVERIFY(w.ui->Text3->text().endsWith(u"Servidor: ¡Hola!\r\n"));
        QCOMPARE(w.ui->txtSend->text(), QString());
        QCOMPARE(QApplication::focusWidget(), w.ui->txtSend);

        // The field changes before the peer leaves: the server listens again where it says now.
        const quint16 nextPort = freeTcpPort();
        w.ui->txtPort->setText(QString::number(nextPort));
        peer->disconnectFromHost();
        QTRY_VERIFY(w.ui->Text3->text().endsWith(u"Servidor: ¡Hola!\r\n*** Desconectado\r\n"));
        QCOMPARE(w->Winsock1->state(), SocketControl::Listening);
        QVERIFY(refusedAt(port));
        QVERIFY(connectPeer(w, nextPort));
        QVERIFY(w.messages->shown.empty());
    }

    void oneTcpPeerAtATime()
    {
        WindowUnderTest w;
        const quint16 port = listenUnderTcp(w);
        auto first = connectPeer(w, port);
        QVERIFY(first);
        QVERIFY(refusedAt(port));

        first->disconnectFromHost();
        QTRY_VERIFY(w.ui->Text3->text().endsWith(u"*** Desconectado\r\n"));
        auto second = connectPeer(w, port);
        QVERIFY(second);
        second->write("2");
        QTRY_VERIFY(w.ui->Text3->text().endsWith(u"Cliente : 2\r\n"));
    }

    // The server's own end of a finished connection lingers in TIME_WAIT: listening on the same
    // port again must still work.
    void listeningAgainOnTheSamePortRightAway()
    {
        WindowUnderTest w;
        const quint16 port = listenUnderTcp(w);
        auto peer = connectPeer(w, port);
        QVERIFY(peer);
        // "Poner a la escucha" while connected drops the peer from this side, without a line.
        const QString before = w.ui->Text3->text();
        listenOn(w, port);
        QCOMPARE(w.ui->Text3->text(), before);
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(w.messages->shown.empty());
        QVERIFY(connectPeer(w, port));
    }

    void withNoTransportChosenNothingIsTouched()
    {
        WindowUnderTest w;
        w.ui->txtPort->setText(QString::number(freeTcpPort()));
        w.ui->txtSend->setText(QStringLiteral("hola"));
        QTest::mouseClick(w.ui->bntListen, Qt::LeftButton);
        QTest::mouseClick(w.ui->bntSend, Qt::LeftButton);
        QCOMPARE(w.messages->shown,
                 (std::vector<Shown>{
                     {QStringLiteral("Elija un Protocolo"), MessageIcon::Critical},
                     {QStringLiteral("Elijan un Protocolo"), MessageIcon::Exclamation}}));
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
        QCOMPARE(w.ui->Text3->text(), QString());
        QCOMPARE(w.ui->txtSend->text(), QStringLiteral("hola"));
    }

    // The listen trap: the critical message and nothing more; the socket stays closed.
    void aRefusedListenIsToldAndLeavesTheServerClosed_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty field")
            << QString() << QStringLiteral("Error : El campo «Escuchar en el puerto» está vacío");
        QTest::newRow("above 65535")
            << QStringLiteral("70000") << QStringLiteral("Error : El puerto 70000 no es válido");
        QTest::newRow("zero") << QStringLiteral("0")
                              << QStringLiteral("Error : El puerto 0 no es válido");
        QTest::newRow("in use") << QStringLiteral("busy") << QStringLiteral("ya está en uso");
    }
    void aRefusedListenIsToldAndLeavesTheServerClosed()
    {
        QFETCH(QString, port);
        QFETCH(QString, says);
        QTcpSocket squatterPeer;
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::Any, 0));
        if (port == u"busy")
            port = QString::number(squatter.serverPort());
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
        w.ui->txtPort->setText(port);
        QTest::mouseClick(w.ui->bntListen, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QVERIFY2(w.messages->shown[0].text.contains(says), qPrintable(w.messages->shown[0].text));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::Critical);
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
        QCOMPARE(w.ui->Text3->text(), QString());
    }

    // The send trap: a message with no icon, then the close chain, which listens again.
    void aSendWithNoPeerIsToldThenTheServerListensAgain()
    {
        WindowUnderTest w;
        const quint16 port = listenUnderTcp(w);
        w.ui->txtSend->setText(QStringLiteral("hola"));
        QTest::mouseClick(w.ui->bntSend, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::None);
        QVERIFY2(w.messages->shown[0].text.startsWith(u"Error : No hay ninguna conexión"),
                 qPrintable(w.messages->shown[0].text));
        QCOMPARE(w.ui->Text3->text(), QStringLiteral("*** Desconectado\r\n"));
        QCOMPARE(w.ui->txtSend->text(), QStringLiteral("hola"));
        QCOMPARE(w->Winsock1->state(), SocketControl::Listening);
        QVERIFY(connectPeer(w, port));
    }

    // Under UDP the server's "Enviar" still goes to Winsock1, where nothing is connected; the
    // refusal says so, the text stays, and the close chain binds the datagram socket again.
    void theServersSendUnderUdpIsRefusedPlainly()
    {
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        const quint16 port = freeUdpPort();
        w.ui->txtPort->setText(QString::number(port));
        w.ui->txtSend->setText(QStringLiteral("datos"));
        QTest::mouseClick(w.ui->bntSend, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::None);
        QVERIFY2(w.messages->shown[0].text.contains(u"nada está conectado"),
                 qPrintable(w.messages->shown[0].text));
        QCOMPARE(w.ui->txtSend->text(), QStringLiteral("datos"));
        QCOMPARE(w.ui->Text3->text(), QStringLiteral("*** Desconectado\r\n"));
        QCOMPARE(w->Winsock2->state(), SocketControl::Open);

        QUdpSocket peer;
        peer.writeDatagram("x", QHostAddress::LocalHost, port);
        QTRY_VERIFY(w.ui->Text4->text().endsWith(u"Servidor : x\r\n"));
    }

    // A refused send whose re-listen fails too: two messages, the second inside the first's
    // close chain.
    void aRefusedSendFollowedByAFailedRelistenShowsTwoMessages()
    {
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
        w.ui->txtSend->setText(QStringLiteral("hola"));
        QTest::mouseClick(w.ui->bntSend, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(2));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::None);
        QVERIFY(w.messages->shown[0].text.startsWith(u"Error : No hay ninguna conexión"));
        QCOMPARE(
            w.messages->shown[1],
            (Shown{QStringLiteral(
                       "Error : El campo «Escuchar en el puerto» está vacío: escriba un número."),
                   MessageIcon::Critical}));
        QCOMPARE(w.ui->Text3->text(), QStringLiteral("*** Desconectado\r\n"));
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
    }

    // An error the socket reports is logged, never shown in a box, and the server listens again.
    void anErrorEventLogsTwoLinesAndListensAgain()
    {
        WindowUnderTest w;
        const quint16 port = listenUnderTcp(w);
        auto peer = connectPeer(w, port);
        QVERIFY(peer);
        emit w->Winsock1->errorOccurred(10053, QStringLiteral("La red se cayó."));
        QVERIFY(
            w.ui->Text3->text().endsWith(u"*** Error : La red se cayó.\r\n*** Desconectado\r\n"));
        QVERIFY(w.messages->shown.empty());
        QCOMPARE(w->Winsock1->state(), SocketControl::Listening);
    }

    void anEmptyTextIsSentLikeAnyOther()
    {
        WindowUnderTest w;
        const quint16 port = listenUnderTcp(w);
        auto peer = connectPeer(w, port);
        QVERIFY(peer);
        QTest::mouseClick(w.ui->bntSend, Qt::LeftButton);
        QVERIFY(w.ui->Text3->text().endsWith(u"Servidor: \r\n"));
        QVERIFY(w.messages->shown.empty());
    }

    void everyByteValueBothWays()
    {
        WindowUnderTest w;
        const quint16 port = listenUnderTcp(w);
        auto peer = connectPeer(w, port);
        QVERIFY(peer);

        const qint64 logged = w.ui->Text3->length();
        peer->write(allByteValues());
        QTRY_COMPARE(rowsJoined(*w).size(), 256);
        QCOMPARE(rowsJoined(*w), allByteValues());
        QCOMPARE(w.ui->Text3->bytes().mid(logged), chunksLogged(*w, "Cliente : "));

        w.ui->txtSend->setText(allByteValuesText());
        QCOMPARE(w.ui->txtSend->text().size(), 256);
        QTest::mouseClick(w.ui->bntSend, Qt::LeftButton);
        QByteArray got;
        QTRY_VERIFY((got += peer->readAll()).size() >= 256);
        QCOMPARE(got, allByteValues());
    }

    // A burst is shown in the chunks the socket delivered: one row and one line per chunk, and
    // the chunks together are exactly what was sent.
    void aTenMegabyteBurstArrivesWholeAndInOrder()
    {
        WindowUnderTest w;
        const quint16 port = listenUnderTcp(w);
        auto peer = connectPeer(w, port);
        QVERIFY(peer);
        QByteArray burst(10 * 1024 * 1024, Qt::Uninitialized);
        for (int i = 0; i < burst.size(); ++i)
            burst[i] = char((i * 131 + i / 7919) % 256);
        const qint64 logged = w.ui->Text3->length();
        peer->write(burst);
        peer->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(w.ui->Text3->text().endsWith(u"*** Desconectado\r\n"), 60000);

        const QByteArray joined = rowsJoined(*w);
        const QByteArray expectedLog = chunksLogged(*w, "Cliente : ");
        QCOMPARE(joined.size(), burst.size());
        QVERIFY(joined == burst);
        const QByteArray log = w.ui->Text3->bytes().mid(logged);
        QVERIFY(log == expectedLog + "*** Desconectado\r\n");
    }
};

QTEST_MAIN(TestServerEndpoint)
#include "tst_serverendpoint.moc"
