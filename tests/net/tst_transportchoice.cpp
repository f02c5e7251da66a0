#include "support/Loopback.h"
#include "support/WindowUnderTest.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

class TestTransportChoice : public QObject {
    Q_OBJECT

private slots:
    void atStartNoTransportIsChosenAndTheClientButtonsWork()
    {
        WindowUnderTest w;
        QVERIFY(!w->Option1->isChecked());
        QVERIFY(!w->Option2->isChecked());
        QVERIFY(w->bntConnect->isEnabled());
        QVERIFY(w->Command1->isEnabled());
        QCOMPARE(w->Winsock1->protocol(), SocketControl::Tcp);
        QCOMPARE(w->Winsock2->protocol(), SocketControl::Tcp);
    }

    void aChoiceSetsBothSocketsAndTheClientButtons_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<bool>("clientButtons");
        QTest::newRow("TCP") << QList<int>{1} << int(SocketControl::Tcp) << true;
        QTest::newRow("UDP") << QList<int>{2} << int(SocketControl::Udp) << false;
        QTest::newRow("UDP then TCP") << QList<int>{2, 1} << int(SocketControl::Tcp) << true;
        QTest::newRow("TCP then UDP") << QList<int>{1, 2} << int(SocketControl::Udp) << false;
        QTest::newRow("UDP twice") << QList<int>{2, 2} << int(SocketControl::Udp) << false;
    }
    void aChoiceSetsBothSocketsAndTheClientButtons()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(int, protocol);
        QFETCH(bool, clientButtons);
        WindowUnderTest w;
        for (int option : clicks)
            QTest::mouseClick(option == 1 ? w->Option1 : w->Option2, Qt::LeftButton);
        QCOMPARE(w->Winsock1->protocol(), protocol);
        QCOMPARE(w->Winsock2->protocol(), protocol);
        QCOMPARE(w->bntConnect->isEnabled(), clientButtons);
        QCOMPARE(w->Command1->isEnabled(), clientButtons);
        QCOMPARE(w->bntSend2->isEnabled(), true);
        QCOMPARE(w->bntListen->isEnabled(), true);
        QCOMPARE(w->bntSend->isEnabled(), true);
        QVERIFY(w.messages->shown.empty());
    }

    // Whatever the sockets were doing, a choice closes them: the ports are free again.
    void aChoiceClosesBothSockets()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Option1, Qt::LeftButton);
        const quint16 tcpPort = freeTcpPort();
        w->Winsock1->setLocalPort(tcpPort);
        w->Winsock1->Listen();
        w->Winsock2->Close();
        w->Winsock2->setProtocol(SocketControl::Udp);
        const quint16 udpPort = freeUdpPort();
        w->Winsock2->Bind(QString::number(udpPort));

        QTest::mouseClick(w->Option2, Qt::LeftButton);
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QTcpServer tcp;
        QVERIFY(tcp.listen(QHostAddress::Any, tcpPort));
        QUdpSocket udp;
        QVERIFY(udp.bind(QHostAddress::Any, udpPort, QAbstractSocket::DontShareAddress));
        QVERIFY(w.messages->shown.empty());
    }

    void theTwoOptionGroupsAreIndependent()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Option2, Qt::LeftButton);
        QTest::mouseClick(w->Option5, Qt::LeftButton);
        QVERIFY(w->Option2->isChecked());
        QVERIFY(w->Option5->isChecked());
        QTest::mouseClick(w->Option1, Qt::LeftButton);
        QVERIFY(w->Option1->isChecked());
        QVERIFY(!w->Option2->isChecked());
        QVERIFY(w->Option5->isChecked());
    }
};

QTEST_MAIN(TestTransportChoice)
#include "tst_transportchoice.moc"
