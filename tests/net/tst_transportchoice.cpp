#include "support/WindowUnderTest.h"
#include "support/peers/Loopback.h"
#include "views/LogPane.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

namespace {

// Under TCP: the server has a peer and the client a connection, each logged.
struct Busy {
    quint16 tcpPort = 0;
    std::unique_ptr<QTcpSocket> serversPeer = std::make_unique<QTcpSocket>();
    std::unique_ptr<QTcpServer> clientsServer = std::make_unique<QTcpServer>();
    QTcpSocket* clientsPeer = nullptr;
    QString serverLog;
    QString clientLog;
};

void makeBusy(WindowUnderTest& w, Busy& busy)
{
    busy.tcpPort = listenUnderTcp(w);
    busy.serversPeer->connectToHost(QHostAddress::LocalHost, busy.tcpPort);
    busy.clientsServer->listen(QHostAddress::LocalHost, 0);
    w.ui->txtIP->setText(QStringLiteral("127.0.0.1"));
    w.ui->txtPort2->setText(QString::number(busy.clientsServer->serverPort()));
    QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->Winsock1->state() == SocketControl::Connected &&
                                 w->Winsock2->state() == SocketControl::Connected &&
                                 busy.clientsServer->hasPendingConnections(),
                             5000);
    busy.clientsPeer = busy.clientsServer->nextPendingConnection();
    busy.serverLog = w.ui->Text3->text();
    busy.clientLog = w.ui->Text4->text();
}

} // namespace

class TestTransportChoice : public QObject {
    Q_OBJECT

private slots:
    void atStartNoTransportIsChosenAndTheClientButtonsWork()
    {
        WindowUnderTest w;
        QVERIFY(!w.ui->Option1->isChecked());
        QVERIFY(!w.ui->Option2->isChecked());
        QVERIFY(w.ui->bntConnect->isEnabled());
        QVERIFY(w.ui->Command1->isEnabled());
        QCOMPARE(w->Winsock1->protocol(), SocketControl::Tcp);
        QCOMPARE(w->Winsock2->protocol(), SocketControl::Tcp);
    }

    void aChoiceSetsBothSocketsAndTheClientButtons_data()
    {
        QTest::addColumn<QList<int>>("clicks"); // 1 "TCP", 2 "UDP", 0 arrow down
        QTest::addColumn<int>("protocol");
        QTest::addColumn<bool>("clientButtons");
        QTest::newRow("TCP") << QList<int>{1} << int(SocketControl::Tcp) << true;
        QTest::newRow("UDP") << QList<int>{2} << int(SocketControl::Udp) << false;
        QTest::newRow("UDP then TCP") << QList<int>{2, 1} << int(SocketControl::Tcp) << true;
        QTest::newRow("TCP then UDP") << QList<int>{1, 2} << int(SocketControl::Udp) << false;
        QTest::newRow("UDP twice") << QList<int>{2, 2} << int(SocketControl::Udp) << false;
        QTest::newRow("TCP, then UDP by arrow key")
            << QList<int>{1, 0} << int(SocketControl::Udp) << false;
    }
    void aChoiceSetsBothSocketsAndTheClientButtons()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(int, protocol);
        QFETCH(bool, clientButtons);
        WindowUnderTest w;
        for (int option : clicks) {
            if (option == 0)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
            else
                QTest::mouseClick(option == 1 ? w.ui->Option1 : w.ui->Option2, Qt::LeftButton);
        }
        QCOMPARE(w->Winsock1->protocol(), protocol);
        QCOMPARE(w->Winsock2->protocol(), protocol);
        QCOMPARE(w.ui->bntConnect->isEnabled(), clientButtons);
        QCOMPARE(w.ui->Command1->isEnabled(), clientButtons);
        QCOMPARE(w.ui->bntSend2->isEnabled(), true);
        QCOMPARE(w.ui->bntListen->isEnabled(), true);
        QCOMPARE(w.ui->bntSend->isEnabled(), true);
        QVERIFY(w.messages->shown.empty());
    }

    // Whatever the sockets were doing, a change of transport closes them: the ports are free
    // again and the peers are cut off. Each pane whose link was live says so once (the client's
    // for the datagram socket the server frame bound); with nothing live nothing is written.
    void aChangedChoiceClosesBothSocketsAndEachLiveLinkSaysSo_data()
    {
        QTest::addColumn<QString>("live"); // what was live before the change
        QTest::addColumn<QString>("serverLine");
        QTest::addColumn<QString>("clientLine");
        QTest::newRow("nothing") << u"nothing"_qs << QString() << QString();
        QTest::newRow("a TCP listener")
            << u"listener"_qs << u"*** Dejó de escuchar en el puerto {tcp} (TCP)\r\n"_qs
            << QString();
        QTest::newRow("a peer and a connection")
            << u"connections"_qs << u"*** Desconectado\r\n"_qs << u"*** Desconectado\r\n"_qs;
        QTest::newRow("a bound UDP port")
            << u"udp"_qs << QString() << u"*** Dejó de escuchar en el puerto {udp} (UDP)\r\n"_qs;
    }
    void aChangedChoiceClosesBothSocketsAndEachLiveLinkSaysSo()
    {
        QFETCH(QString, live);
        QFETCH(QString, serverLine);
        QFETCH(QString, clientLine);
        WindowUnderTest w;
        Busy busy;
        quint16 udpPort = 0;
        if (live == u"connections") {
            makeBusy(w, busy);
            if (QTest::currentTestFailed())
                return;
        } else if (live == u"listener") {
            busy.tcpPort = listenUnderTcp(w);
        } else if (live == u"udp") {
            QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
            udpPort = freeUdpPort();
            listenOn(w, udpPort);
            QCOMPARE(w->Winsock2->state(), SocketControl::Open);
        }
        const QString serverLog = w.ui->Text3->text();
        const QString clientLog = w.ui->Text4->text();

        QTest::mouseClick(live == u"udp" ? w.ui->Option1 : w.ui->Option2, Qt::LeftButton);
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        const auto port = [&](QString line) {
            return line.replace(u"{tcp}"_qs, QString::number(busy.tcpPort))
                .replace(u"{udp}"_qs, QString::number(udpPort));
        };
        QCOMPARE(w.ui->Text3->text(), serverLog + port(serverLine));
        QCOMPARE(w.ui->Text4->text(), clientLog + port(clientLine));
        QVERIFY(w.messages->shown.empty());
        if (live == u"connections") {
            QTRY_COMPARE(busy.serversPeer->state(), QAbstractSocket::UnconnectedState);
            QTRY_COMPARE(busy.clientsPeer->state(), QAbstractSocket::UnconnectedState);
        }
        if (busy.tcpPort != 0) {
            QTcpServer tcp;
            QVERIFY(tcp.listen(QHostAddress::Any, busy.tcpPort));
        }
        if (udpPort != 0) {
            QUdpSocket udp;
            QVERIFY(udp.bind(QHostAddress::Any, udpPort, QAbstractSocket::DontShareAddress));
        }

        // A second change, with nothing live any more, writes nothing.
        QTest::mouseClick(live == u"udp" ? w.ui->Option2 : w.ui->Option1, Qt::LeftButton);
        QCOMPARE(w.ui->Text3->text(), serverLog + port(serverLine));
        QCOMPARE(w.ui->Text4->text(), clientLog + port(clientLine));
    }

    // A stray click, or Space, on the option already chosen changes nothing: the peers stay.
    void choosingTheChosenTransportAgainChangesNothing()
    {
        WindowUnderTest w;
        Busy busy;
        makeBusy(w, busy);
        if (QTest::currentTestFailed())
            return;
        QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
        QTest::keyClick(w.ui->Option1, Qt::Key_Space);
        QCOMPARE(w->Winsock1->state(), SocketControl::Connected);
        QCOMPARE(w->Winsock2->state(), SocketControl::Connected);
        busy.serversPeer->write("sigo");
        QTRY_VERIFY(w.ui->Text3->text().endsWith(u"Cliente : sigo\r\n"));
        QCOMPARE(busy.clientsPeer->state(), QAbstractSocket::ConnectedState);

        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        const quint16 udpPort = freeUdpPort();
        listenOn(w, udpPort);
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        QCOMPARE(w->Winsock2->state(), SocketControl::Open);
        QUdpSocket peer;
        peer.writeDatagram("aqui", QHostAddress::LocalHost, udpPort);
        QTRY_VERIFY(w.ui->Text4->text().endsWith(u"Servidor : aqui\r\n"));
        QVERIFY(w.messages->shown.empty());
    }
    void theTwoOptionGroupsAreIndependent()
    {
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        QTest::mouseClick(w.ui->Option5, Qt::LeftButton);
        QVERIFY(w.ui->Option2->isChecked());
        QVERIFY(w.ui->Option5->isChecked());
        QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
        QVERIFY(w.ui->Option1->isChecked());
        QVERIFY(!w.ui->Option2->isChecked());
        QVERIFY(w.ui->Option5->isChecked());
    }
};

QTEST_MAIN(TestTransportChoice)
#include "tst_transportchoice.moc"
