#include "base/ControlError.h"
#include "base/DecimalDigits.h"
#include "base/NumberConversion.h"

#include <QTest>

#include <limits>

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

    // The one reading of digits behind the fields, the settings string and the port numbers:
    // its edges are where a port number, a speed or a device name would go wrong.
    void digitsAreReadOneWay_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("sign");
        QTest::addColumn<bool>("leadingZeros");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<qint64>("value");
        const int number = DecimalReading::Number;
        const int notDigits = DecimalReading::NotDigits;
        const int tooLarge = DecimalReading::TooLarge;
        QTest::newRow("signed") << QStringLiteral("-12") << true << true << 0 << number << -12LL;
        QTest::newRow("sign not allowed")
            << QStringLiteral("+1") << false << true << 0 << notDigits << 0LL;
        QTest::newRow("sign alone") << QStringLiteral("+") << true << true << 0 << notDigits << 0LL;
        QTest::newRow("blank inside")
            << QStringLiteral("1 2") << true << true << 0 << notDigits << 0LL;
        QTest::newRow("other script's digit")
            << QStringLiteral("1\u0663") << false << true << 0 << notDigits << 0LL;
        QTest::newRow("zero alone without leading zeros")
            << QStringLiteral("0") << false << false << 0 << number << 0LL;
        QTest::newRow("leading zero refused")
            << QStringLiteral("07") << false << false << 0 << notDigits << 0LL;
        QTest::newRow("at the length")
            << QStringLiteral("99999") << false << true << 5 << number << 99999LL;
        QTest::newRow("past the length")
            << QStringLiteral("000001") << false << true << 5 << notDigits << 0LL;
        QTest::newRow("least 64 bits") << QStringLiteral("-9223372036854775808") << true << true
                                       << 0 << number << std::numeric_limits<qint64>::min();
        QTest::newRow("past 64 bits")
            << QStringLiteral("9223372036854775808") << true << true << 0 << tooLarge << 0LL;
        QTest::newRow("letter after too many digits")
            << QStringLiteral("99999999999999999999x") << true << true << 0 << notDigits << 0LL;
    }
    void digitsAreReadOneWay()
    {
        QFETCH(QString, text);
        QFETCH(bool, sign);
        QFETCH(bool, leadingZeros);
        QFETCH(int, maxLength);
        QFETCH(int, outcome);
        QFETCH(qint64, value);
        const DecimalReading reading = readDecimal(text, {sign, leadingZeros, maxLength});
        QCOMPARE(int(reading.outcome), outcome);
        if (reading.isNumber())
            QCOMPARE(reading.value, value);
    }
};

QTEST_APPLESS_MAIN(TestNumberConversion)
#include "tst_numberconversion.moc"
