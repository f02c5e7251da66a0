#include "codes/CodeList.h"
#include "platform/SingleByteCodec.h"
#include "support/WindowUnderTest.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using Shown = RecordingMessages::Shown;

namespace {

QLineEdit* destinationOf(ServerFrm& w, int option)
{
    switch (option) {
    case 3:
        return w.txtSend;
    case 4:
        return w.txtSend2;
    default:
        return w.Text1;
    }
}

QRadioButton* optionButton(ServerFrm& w, int option)
{
    switch (option) {
    case 3:
        return w.Option3;
    case 4:
        return w.Option4;
    default:
        return w.Option5;
    }
}

void typeCode(ServerFrm& w, const QString& code)
{
    w.MaskEdBox6->setFocus();
    w.MaskEdBox6->selectAll();
    QTest::keyClick(w.MaskEdBox6, Qt::Key_Delete);
    QTest::keyClicks(w.MaskEdBox6, code);
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
        QTest::newRow("CR to serial text")
            << 5 << QStringLiteral("AT") << QStringLiteral("13") << 1 << QStringLiteral("AT\r");
        QTest::newRow("two LF to client text")
            << 4 << QString() << QStringLiteral("10") << 2 << QStringLiteral("\n\n");
        QTest::newRow("NUL") << 4 << QStringLiteral("x") << QStringLiteral("0") << 1
                             << QStringLiteral("x") + QChar(0);
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
            QTest::mouseClick(w->Command5, Qt::LeftButton);
        QCOMPARE(destinationOf(*w, option)->text(), after);
        QVERIFY(w.messages->shown.empty());
        for (int other : {3, 4, 5}) {
            if (other != option)
                QCOMPARE(destinationOf(*w, other)->text(), QString());
        }
    }

    // What "Chr" puts in goes out on the link as the byte of the typed code.
    void everyCodeSendsAsItsOwnByte()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Option5, Qt::LeftButton);
        for (int code = 0; code < 256; ++code) {
            typeCode(*w, QString::number(code));
            QTest::mouseClick(w->Command5, Qt::LeftButton);
        }
        const QByteArray bytes = SingleByteCodec::toBytes(w->Text1->text());
        QCOMPARE(bytes.size(), 256);
        for (int code = 0; code < 256; ++code)
            QCOMPARE(static_cast<unsigned char>(bytes[code]), code);
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
        QTest::mouseClick(w->Option2, Qt::LeftButton); // a transport is no destination
        typeCode(*w, code);
        QTest::mouseClick(w->Command5, Qt::LeftButton);
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
        QTest::mouseClick(w->Option3, Qt::LeftButton);
        w->txtSend->setText(QStringLiteral("AB"));
        typeCode(*w, code);
        QTest::mouseClick(w->Command5, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::Critical);
        QVERIFY(w.messages->shown[0].text.startsWith(u"Error : "));
        QVERIFY2(w.messages->shown[0].text.contains(says), qPrintable(w.messages->shown[0].text));
        QCOMPARE(w->txtSend->text(), QStringLiteral("AB"));

        typeCode(*w, QStringLiteral("67"));
        QTest::mouseClick(w->Command5, Qt::LeftButton);
        QCOMPARE(w->txtSend->text(), QStringLiteral("ABC"));
    }

    void theCaretAndFocusStayWhereTheyWere()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Option4, Qt::LeftButton);
        w->txtSend2->setText(QStringLiteral("hola"));
        w->txtSend2->setCursorPosition(1);
        typeCode(*w, QStringLiteral("33"));
        QTest::mouseClick(w->Command5, Qt::LeftButton);
        QCOMPARE(w->txtSend2->text(), QStringLiteral("hola!"));
        QCOMPARE(w->txtSend2->cursorPosition(), 1);
        QVERIFY(!w->txtSend2->hasFocus());
    }
};

QTEST_MAIN(TestCharInsertion)
#include "tst_charinsertion.moc"
