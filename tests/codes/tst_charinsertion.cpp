#include "base/SingleByteCodec.h"
#include "codes/CodeList.h"
#include "support/SerialBench.h"
#include "support/ByteSamples.h"
#include "support/WindowUnderTest.h"
#include "views/ByteGlyphs.h"
#include "views/LogPane.h"

#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using Shown = RecordingMessages::Shown;

namespace {

QLineEdit* destinationOf(ServerFrm& w, int option)
{
    switch (option) {
    case 3:
        return w.controls().txtSend;
    case 4:
        return w.controls().txtSend2;
    default:
        return w.controls().Text1;
    }
}

QRadioButton* optionButton(ServerFrm& w, int option)
{
    switch (option) {
    case 3:
        return w.controls().Option3;
    case 4:
        return w.controls().Option4;
    default:
        return w.controls().Option5;
    }
}

void typeCode(ServerFrm& w, const QString& code)
{
    w.controls().MaskEdBox6->setFocus();
    w.controls().MaskEdBox6->selectAll();
    QTest::keyClick(w.controls().MaskEdBox6, Qt::Key_Delete);
    QTest::keyClicks(w.controls().MaskEdBox6, code);
}

} // namespace

class TestCharInsertion : public QObject {
    Q_OBJECT

private slots:
    void chrAppendsTheCharacterToTheChosenText_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("presses");
        QTest::addColumn<QString>("after");
        QTest::newRow("A to server text")
            << 3 << QStringLiteral("AB") << QStringLiteral("65") << 1 << QStringLiteral("ABA");
        QTest::newRow("065 is 65")
            << 3 << QStringLiteral("AB") << QStringLiteral("065") << 1 << QStringLiteral("ABA");
        // A control character shows as its picture; what goes out is the character itself.
        QTest::newRow("CR to serial text")
            << 5 << QStringLiteral("AT") << QStringLiteral("13") << 1 << QStringLiteral("AT␍");
        QTest::newRow("two LF to client text")
            << 4 << QString() << QStringLiteral("10") << 2 << QStringLiteral("␊␊");
        QTest::newRow("NUL") << 4 << QStringLiteral("x") << QStringLiteral("0") << 1
                             << QStringLiteral("x␀");
        QTest::newRow("DEL") << 3 << QString() << QStringLiteral("127") << 1 << QStringLiteral("␡");
        QTest::newRow("255") << 5 << QString() << QStringLiteral("255") << 1 << QStringLiteral("ÿ");
        QTest::newRow("128 is the euro sign")
            << 3 << QString() << QStringLiteral("128") << 1 << QStringLiteral("€");
    }
    void chrAppendsTheCharacterToTheChosenText()
    {
        QFETCH(int, option);
        QFETCH(QString, before);
        QFETCH(QString, code);
        QFETCH(int, presses);
        QFETCH(QString, after);
        WindowUnderTest w;
        QTest::mouseClick(optionButton(*w, option), Qt::LeftButton);
        destinationOf(*w, option)->setText(before);
        typeCode(*w, code);
        for (int i = 0; i < presses; ++i)
            QTest::mouseClick(w.ui->Command5, Qt::LeftButton);
        QCOMPARE(destinationOf(*w, option)->text(), after);
        QVERIFY(w.messages->shown.empty());
        for (int other : {3, 4, 5}) {
            if (other != option)
                QCOMPARE(destinationOf(*w, other)->text(), QString());
        }
    }

    // Every code composed with "Chr" shows as the box's mode writes it: in text as the panes
    // draw that byte (CR and LF, which break a pane's lines, as their pictures too), with
    // escapes as its escape where it has one, in hexadecimal as two digits. Enter sends the
    // bytes of the typed codes, exactly. Up recalls the composed text as it was, and it goes
    // out the same again.
    void composedFramesGoOutByteExactWithEnterAndRecall_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("mode"); // the entry of the box's menu
        // "hola" and "borrador" as typed in that mode.
        QTest::addColumn<QString>("hola");
        QTest::addColumn<QString>("borrador");
        const QString text = u"Texto"_qs;
        const QString escapes = u"Secuencias de escape"_qs;
        const QString hex = u"Hexadecimal"_qs;
        QTest::newRow("server") << 3 << text << u"hola"_qs << u"borrador"_qs;
        QTest::newRow("client, UDP") << 4 << text << u"hola"_qs << u"borrador"_qs;
        QTest::newRow("serial") << 5 << text << u"hola"_qs << u"borrador"_qs;
        QTest::newRow("server, escapes") << 3 << escapes << u"ho\\x6Ca"_qs << u"b\\x6F"_qs;
        QTest::newRow("client, UDP, escapes") << 4 << escapes << u"hol\\x61"_qs << u"bo"_qs;
        QTest::newRow("serial, escapes") << 5 << escapes << u"\\x68ola"_qs << u"bo"_qs;
        QTest::newRow("server, hexadecimal") << 3 << hex << u"68 6F 6c 61"_qs << u"62"_qs;
        QTest::newRow("client, UDP, hexadecimal") << 4 << hex << u"686F6C61"_qs << u"62 6F"_qs;
        QTest::newRow("serial, hexadecimal") << 5 << hex << u" 68 6f6C 61 "_qs << u"62"_qs;
    }
    void composedFramesGoOutByteExactWithEnterAndRecall()
    {
        QFETCH(int, option);
        QFETCH(QString, mode);
        QFETCH(QString, hola);
        QFETCH(QString, borrador);
        SerialBench bench;
        ServerFrm& w = bench.window();
        QLineEdit* box = destinationOf(w, option);
        QVERIFY(chooseInBoxMenu(*box, {mode}));
        QTcpSocket tcpPeer;
        QUdpSocket udpPeer;
        QByteArray got;
        std::function<QByteArray()> received;
        LogPane* pane = nullptr;
        QByteArray logPrefix;
        if (option == 3) {
            const quint16 port = listenUnderTcp(*bench.w);
            tcpPeer.connectToHost(QHostAddress::LocalHost, port);
            QVERIFY(tcpPeer.waitForConnected(5000));
            QTRY_VERIFY(w.controls().Text3->length() > 0);
            received = [&] {
                return got += tcpPeer.readAll();
            };
            pane = w.controls().Text3;
            logPrefix = "Servidor: ";
        } else if (option == 4) {
            QVERIFY(udpPeer.bind(QHostAddress::LocalHost, 0));
            QTest::mouseClick(w.controls().Option2, Qt::LeftButton);
            w.controls().txtIP->setText(QStringLiteral("127.0.0.1"));
            w.controls().txtPort2->setText(QString::number(udpPeer.localPort()));
            received = [&] {
                while (udpPeer.hasPendingDatagrams())
                    got += udpPeer.receiveDatagram().data();
                return got;
            };
            pane = w.controls().Text4;
            logPrefix = "Cliente : ";
        } else {
            bench.connect();
            received = [&] {
                return bench.line.received;
            };
        }

        const QByteArray all = allByteValues();
        QTest::mouseClick(optionButton(w, option), Qt::LeftButton);
        for (int code = 0; code < 256; ++code) {
            typeCode(w, QString::number(code));
            QTest::mouseClick(w.controls().Command5, Qt::LeftButton);
        }
        const QString composed = box->text();
        if (mode == u"Texto") {
            QCOMPARE(composed.size(), 256);
            for (int b = 0; b < 256; ++b) {
                const auto byte = static_cast<unsigned char>(b);
                QChar expected = ByteGlyphs::displayChar(byte);
                if (expected.isNull()) // CR, LF
                    expected = QChar(char16_t(0x2400 + b));
                else if (expected == QChar::ReplacementCharacter) // unassigned: no picture
                    expected = SingleByteCodec::toChar(byte);
                QCOMPARE(composed[b], expected);
            }
        } else if (mode == u"Hexadecimal") {
            QCOMPARE(composed, QString::fromLatin1(all.toHex(' ').toUpper()));
        } else {
            QVERIFY2(composed.startsWith(u"\\0\\x01\\x02"), qPrintable(composed));
            QVERIFY(composed.contains(u"\\x08\\t\\n\\x0B\\x0C\\r\\x0E"));
            QVERIFY(composed.contains(u"[\\\\]"));
            QVERIFY(composed.contains(u"}~\\x7F€\\x81‚"));
            QVERIFY(composed.endsWith(u"þÿ"));
        }

        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_COMPARE(received(), all);
        QCOMPARE(box->text(), QString());
        if (pane)
            QVERIFY(pane->bytes().endsWith(logPrefix + all + "\r\n"));

        QTest::keyClicks(box, hola);
        QTest::keyClick(box, Qt::Key_Enter);
        QTRY_COMPARE(received(), all + "hola");
        QTest::keyClicks(box, borrador);
        const QStringList walk = {hola, composed, composed, hola, borrador, borrador};
        const QList<Qt::Key> keys = {Qt::Key_Up,   Qt::Key_Up,   Qt::Key_Up,
                                     Qt::Key_Down, Qt::Key_Down, Qt::Key_Down};
        for (qsizetype i = 0; i < keys.size(); ++i) {
            QTest::keyClick(box, keys[i]);
            QCOMPARE(box->text(), walk[i]);
        }
        QTest::keyClick(box, Qt::Key_Up);
        QTest::keyClick(box, Qt::Key_Up);
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_COMPARE(received(), all + "hola" + all);
        QVERIFY(bench.shown().empty());
    }

    void withNoDestinationChosenItSaysElijaUnDestino_data()
    {
        QTest::addColumn<QString>("code");
        QTest::newRow("65") << QStringLiteral("65");
        QTest::newRow("999") << QStringLiteral("999");
    }
    void withNoDestinationChosenItSaysElijaUnDestino()
    {
        QFETCH(QString, code);
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton); // a transport is no destination
        typeCode(*w, code);
        QTest::mouseClick(w.ui->Command5, Qt::LeftButton);
        QCOMPARE(w.messages->shown,
                 (std::vector<Shown>{{QStringLiteral("Elija un Destino"), MessageIcon::Critical}}));
        for (int option : {3, 4, 5})
            QCOMPARE(destinationOf(*w, option)->text(), QString());
    }

    // Told to the operator, nothing changed, and the window goes on working.
    void anUnusableCodeIsToldAndChangesNothing_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty field") << QString() << QStringLiteral("está vacío");
        QTest::newRow("256") << QStringLiteral("256")
                             << QStringLiteral("El código 256 no corresponde");
        QTest::newRow("999") << QStringLiteral("999")
                             << QStringLiteral("El código 999 no corresponde");
    }
    void anUnusableCodeIsToldAndChangesNothing()
    {
        QFETCH(QString, code);
        QFETCH(QString, says);
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option3, Qt::LeftButton);
        w.ui->txtSend->setText(QStringLiteral("AB"));
        typeCode(*w, code);
        QTest::mouseClick(w.ui->Command5, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::Critical);
        QVERIFY(w.messages->shown[0].text.startsWith(u"Error : "));
        QVERIFY2(w.messages->shown[0].text.contains(says), qPrintable(w.messages->shown[0].text));
        QCOMPARE(w.ui->txtSend->text(), QStringLiteral("AB"));

        typeCode(*w, QStringLiteral("67"));
        QTest::mouseClick(w.ui->Command5, Qt::LeftButton);
        QCOMPARE(w.ui->txtSend->text(), QStringLiteral("ABC"));
    }

    void theCaretAndFocusStayWhereTheyWere()
    {
        WindowUnderTest w;
        QTest::mouseClick(w.ui->Option4, Qt::LeftButton);
        w.ui->txtSend2->setText(QStringLiteral("hola"));
        w.ui->txtSend2->setCursorPosition(1);
        typeCode(*w, QStringLiteral("33"));
        QTest::mouseClick(w.ui->Command5, Qt::LeftButton);
        QCOMPARE(w.ui->txtSend2->text(), QStringLiteral("hola!"));
        QCOMPARE(w.ui->txtSend2->cursorPosition(), 1);
        QVERIFY(!w.ui->txtSend2->hasFocus());
    }
};

QTEST_MAIN(TestCharInsertion)
#include "tst_charinsertion.moc"
