// How an outgoing box is read: as text, with escape sequences or in hexadecimal, with a line end
// after every send, chosen in the box's context menu; and a box its mode cannot read, refused
// where the operator can see why. Each box talks to a real peer: the server's to a TCP peer,
// the client's to a TCP server, the serial one to a pseudo-terminal.

#include "support/SerialBench.h"
#include "support/WindowUnderTest.h"
#include "views/LogPane.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using Shown = RecordingMessages::Shown;

namespace {

// The window with every link up: the server's peer connected, the client connected to a
// server, the serial port open on a pseudo-terminal.
struct Links {
    Links()
    {
        ServerFrm& w = bench.window();
        const quint16 port = listenUnderTcp(*bench.w);
        serversPeer.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(w.Winsock1->state(), SocketControl::Connected);
        if (!remote.listen(QHostAddress::LocalHost, 0))
            qFatal("no listener for the client");
        w.controls().txtIP->setText(u"127.0.0.1"_qs);
        w.controls().txtPort2->setText(QString::number(remote.serverPort()));
        QTest::mouseClick(w.controls().bntConnect, Qt::LeftButton);
        QTRY_COMPARE(w.Winsock2->state(), SocketControl::Connected);
        QTRY_VERIFY(remote.hasPendingConnections());
        clientsServer = remote.nextPendingConnection();
        bench.connect();
    }

    QLineEdit& box(const QString& link)
    {
        const auto& ui = bench.window().controls();
        return link == u"server" ? *ui.txtSend : link == u"client" ? *ui.txtSend2 : *ui.Text1;
    }
    QPushButton& enviar(const QString& link)
    {
        const auto& ui = bench.window().controls();
        return link == u"server" ? *ui.bntSend : link == u"client" ? *ui.bntSend2 : *ui.Command3;
    }
    LogPane& pane(const QString& link)
    {
        const auto& ui = bench.window().controls();
        return link == u"server" ? *ui.Text3 : link == u"client" ? *ui.Text4 : *ui.Text2;
    }
    // What the link's other end has got so far.
    QByteArray received(const QString& link)
    {
        if (link == u"server")
            return got += serversPeer.readAll();
        if (link == u"client")
            return got += clientsServer->readAll();
        return bench.line.received;
    }
    bool allUp()
    {
        ServerFrm& w = bench.window();
        return w.Winsock1->state() == SocketControl::Connected &&
               w.Winsock2->state() == SocketControl::Connected && w.MSComm1->portOpen();
    }

    SerialBench bench;
    QTcpSocket serversPeer;
    QTcpServer remote;
    QTcpSocket* clientsServer = nullptr;
    QByteArray got;
};

// What the pane logs for a send from the link's box ("Servidor: " …); the serial pane logs
// nothing.
QByteArray loggedSend(const QString& link, const QByteArray& bytes)
{
    if (link == u"serial")
        return {};
    return (link == u"server" ? QByteArray("Servidor: ") : QByteArray("Cliente : ")) + bytes +
           "\r\n";
}

} // namespace

class TestOutgoingBox : public QObject {
    Q_OBJECT

private slots:
    // The bytes that go out are the box read in its mode, then its line end; the pane logs
    // those bytes, as it logs any send.
    void eachBoxSendsWhatItsFormatReads_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QStringList>("menu");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("server, text, CR+LF")
            << u"server"_qs << QStringList{u"Texto"_qs, u"Fin de línea/CR+LF"_qs} << u"AT"_qs
            << QByteArray("AT\r\n");
        QTest::newRow("server, escapes, an empty box sends its line end")
            << u"server"_qs << QStringList{u"Secuencias de escape"_qs, u"Fin de línea/CR"_qs}
            << QString() << QByteArray("\r");
        QTest::newRow("client, escapes, LF")
            << u"client"_qs << QStringList{u"Secuencias de escape"_qs, u"Fin de línea/LF"_qs}
            << u"a\\tb\\\\c\\x00\\xfF\\r\\n\\0€"_qs << QByteArray("a\tb\\c\0\xff\r\n\0\x80\n", 12);
        QTest::newRow("client, hexadecimal, none")
            << u"client"_qs << QStringList{u"Hexadecimal"_qs, u"Fin de línea/Ninguno"_qs}
            << u"  0d0A 7f 80  "_qs << QByteArray("\r\n\x7f\x80");
        QTest::newRow("serial, hexadecimal, CR")
            << u"serial"_qs << QStringList{u"Hexadecimal"_qs, u"Fin de línea/CR"_qs}
            << u"48 49 00 FF"_qs << QByteArray("HI\0\xff\r", 5);
        QTest::newRow("serial, escapes, a control picture is its byte")
            << u"serial"_qs << QStringList{u"Secuencias de escape"_qs} << u"␂x\\x03"_qs
            << QByteArray("\x02x\x03");
        QTest::newRow("serial, text, a backslash is a backslash")
            << u"serial"_qs << QStringList{u"Fin de línea/CR+LF"_qs} << u"a\\x41"_qs
            << QByteArray("a\\x41\r\n");
    }
    void eachBoxSendsWhatItsFormatReads()
    {
        QFETCH(QString, link);
        QFETCH(QStringList, menu);
        QFETCH(QString, typed);
        QFETCH(QByteArray, sent);
        Links links;
        QVERIFY(chooseInBoxMenu(links.box(link), menu));
        const QByteArray before = links.pane(link).bytes();
        links.box(link).setText(typed);
        QTest::mouseClick(&links.enviar(link), Qt::LeftButton);
        QTRY_COMPARE(links.received(link), sent);
        QCOMPARE(links.box(link).text(), QString());
        QCOMPARE(links.pane(link).bytes(), before + loggedSend(link, sent));
        QVERIFY(links.bench.shown().empty());

        // Every send from the box is read the same way, Enter and Up included.
        links.box(link).setFocus();
        QTest::keyClick(&links.box(link), Qt::Key_Up);
        QCOMPARE(links.box(link).text(), typed);
        QTest::keyClick(&links.box(link), Qt::Key_Return);
        QTRY_COMPARE(links.received(link), sent + sent);
        QVERIFY(links.allUp());
    }

    // A box its mode cannot read is refused as the link's own refused send is told ("Error : "
    // and where), with the unreadable part selected and the text kept. Nothing went out, and
    // the link is still up: a typing mistake costs no connection.
    void anUnreadableBoxIsRefusedNamingWhere_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("says");
        QTest::addColumn<int>("selectedFrom");
        QTest::addColumn<QString>("selected");
        const QString hex = u"Hexadecimal"_qs;
        const QString escapes = u"Secuencias de escape"_qs;
        QTest::newRow("an odd digit")
            << u"server"_qs << hex << u"48 4"_qs << u"en la posición 4, «4» es un dígito suelto"_qs
            << 3 << u"4"_qs;
        // One byte meant, or two? Never guessed.
        QTest::newRow("a pair split by a space")
            << u"server"_qs << hex << u"1 2 3 4"_qs
            << u"en la posición 1, «1» es un dígito suelto"_qs << 0 << u"1"_qs;
        QTest::newRow("no hexadecimal digit")
            << u"client"_qs << hex << u"48 4G"_qs
            << u"en la posición 5, «G» no es un dígito hexadecimal"_qs << 4 << u"G"_qs;
        QTest::newRow("a control picture in hexadecimal")
            << u"serial"_qs << hex << u"41␍"_qs
            << u"en la posición 3, «␍» no es un dígito hexadecimal"_qs << 2 << u"␍"_qs;
        QTest::newRow("\\x with one digit")
            << u"client"_qs << escapes << u"ab\\x4"_qs
            << u"en la posición 3: «\\x4» necesita dos dígitos hexadecimales"_qs << 2 << u"\\x4"_qs;
        QTest::newRow("\\x with no digit") << u"server"_qs << escapes << u"\\xZZ"_qs
                                           << u"en la posición 1: «\\xZ»"_qs << 0 << u"\\xZ"_qs;
        QTest::newRow("a stray escape")
            << u"serial"_qs << escapes << u"\\q"_qs << u"en la posición 1: «\\q». Se admiten"_qs
            << 0 << u"\\q"_qs;
        QTest::newRow("a backslash at the end")
            << u"serial"_qs << escapes << u"ab\\"_qs
            << u"en la posición 3: «\\» al final no escapa nada"_qs << 2 << u"\\"_qs;
    }
    void anUnreadableBoxIsRefusedNamingWhere()
    {
        QFETCH(QString, link);
        QFETCH(QString, mode);
        QFETCH(QString, typed);
        QFETCH(QString, says);
        QFETCH(int, selectedFrom);
        QFETCH(QString, selected);
        Links links;
        QLineEdit& box = links.box(link);
        QVERIFY(chooseInBoxMenu(box, {mode, u"Fin de línea/CR"_qs}));
        const QByteArray before = links.pane(link).bytes();
        box.setText(typed);
        QTest::mouseClick(&links.enviar(link), Qt::LeftButton);

        QCOMPARE(links.bench.shown().size(), std::size_t(1));
        const Shown told = links.bench.shown()[0];
        QVERIFY2(told.text.startsWith(u"Error : El texto a enviar") && told.text.contains(says),
                 qPrintable(told.text));
        // The icon of the link's own refused send: none for the sockets' traps.
        QCOMPARE(told.icon, link == u"serial" ? MessageIcon::Critical : MessageIcon::None);
        QCOMPARE(box.text(), typed);
        QCOMPARE(box.window()->focusWidget(), &box);
        QCOMPARE(box.selectionStart(), selectedFrom);
        QCOMPARE(box.selectedText(), selected);
        QCOMPARE(links.pane(link).bytes(), before);
        QVERIFY(links.allUp());

        // Put right, the same box sends.
        box.setText(mode == u"Hexadecimal" ? u"4F 4B"_qs : u"OK"_qs);
        QTest::mouseClick(&links.enviar(link), Qt::LeftButton);
        QTRY_COMPARE(links.received(link), QByteArray("OK\r"));
        QCOMPARE(links.bench.shown().size(), std::size_t(1));
    }

    // The menu shows the box's choices; the hover text (and what screen readers describe) says
    // them, and a box set to other than the design's plain text says so while empty. Each box
    // has its own.
    void eachBoxSaysHowItIsRead()
    {
        WindowUnderTest w;
        const QString plain = u"Se envía como texto, sin fin de línea. Cámbielo en el menú "
                              u"contextual."_qs;
        for (QLineEdit* box : {w.ui->txtSend, w.ui->txtSend2, w.ui->Text1}) {
            QCOMPARE(box->toolTip(), plain);
            QCOMPARE(box->placeholderText(), QString());
        }
        QVERIFY(chooseInBoxMenu(*w.ui->txtSend2, {u"Hexadecimal"_qs, u"Fin de línea/CR+LF"_qs}));
        const QString hex = u"Se envía en hexadecimal (pares de dígitos: 48 49 0D), con CR+LF al "
                            u"final. Cámbielo en el menú contextual."_qs;
        QCOMPARE(w.ui->txtSend2->toolTip(), hex);
        QCOMPARE(w.ui->txtSend2->accessibleDescription(), hex);
        QCOMPARE(w.ui->txtSend2->placeholderText(), u"Hexadecimal, fin de línea CR+LF"_qs);
        QVERIFY(chooseInBoxMenu(*w.ui->Text1, {u"Secuencias de escape"_qs}));
        QCOMPARE(w.ui->Text1->toolTip(),
                 u"Se envía con secuencias de escape (\\r \\n \\t \\0 \\\\ \\xHH), sin fin de "
                 u"línea. Cámbielo en el menú contextual."_qs);
        QCOMPARE(w.ui->Text1->placeholderText(), u"Secuencias de escape"_qs);
        QCOMPARE(w.ui->txtSend->toolTip(), plain);

        // Back to the design's way: nothing shows in the empty box any more.
        QVERIFY(chooseInBoxMenu(*w.ui->txtSend2, {u"Texto"_qs, u"Fin de línea/Ninguno"_qs}));
        QCOMPARE(w.ui->txtSend2->toolTip(), plain);
        QCOMPARE(w.ui->txtSend2->placeholderText(), QString());
        QVERIFY(!chooseInBoxMenu(*w.ui->txtSend2, {u"Binario"_qs}));
    }
};

QTEST_MAIN(TestOutgoingBox)
#include "tst_outgoingbox.moc"
