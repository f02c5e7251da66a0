#include "platform/ControlError.h"
#include "platform/NumberConversion.h"

#include <QTest>

class TestNumberConversion : public QObject {
    Q_OBJECT

private slots:
    void fieldTextsBecomeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("plain") << QStringLiteral("65") << 65;
        QTest::newRow("leading zeros") << QStringLiteral("009600") << 9600;
        QTest::newRow("blanks around") << QStringLiteral(" 7 ") << 7;
        QTest::newRow("largest field") << QStringLiteral("999999") << 999999;
        QTest::newRow("zero") << QStringLiteral("0") << 0;
    }
    void fieldTextsBecomeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, number);
        QCOMPARE(toInt32(text, u"Vel"), number);
        QCOMPARE(toDouble(text, u"Vel"), double(number));
    }

    // A refusal names the field, so the operator knows which one to fix.
    void unusableTextIsRefusedNamingTheField_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("sixteenBits");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty") << QString() << false << QStringLiteral("«Puerto» está vacío");
        QTest::newRow("blank") << QStringLiteral("   ") << false
                               << QStringLiteral("«Puerto» está vacío");
        QTest::newRow("letters") << QStringLiteral("12a") << false
                                 << QStringLiteral("«Puerto» no contiene un número");
        QTest::newRow("sign alone")
            << QStringLiteral("-") << false << QStringLiteral("no contiene un número");
        QTest::newRow("too large for 16 bits")
            << QStringLiteral("70000") << true
            << QStringLiteral("70000 del campo «Puerto» está fuera de rango");
        QTest::newRow("too large for 32 bits")
            << QStringLiteral("99999999999") << false << QStringLiteral("fuera de rango");
    }
    void unusableTextIsRefusedNamingTheField()
    {
        QFETCH(QString, text);
        QFETCH(bool, sixteenBits);
        QFETCH(QString, says);
        try {
            if (sixteenBits)
                toInt16(text, u"Puerto");
            else
                toInt32(text, u"Puerto");
            QFAIL("the text was taken as a number");
        } catch (const ControlError& e) {
            QVERIFY2(e.description().contains(says), qPrintable(e.description()));
        }
    }
};

QTEST_APPLESS_MAIN(TestNumberConversion)
#include "tst_numberconversion.moc"
