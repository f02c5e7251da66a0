#include "base/SingleByteCodec.h"
#include "support/ByteSamples.h"

#include <QTest>

class TestSingleByteCodec : public QObject {
    Q_OBJECT

private slots:
    void everyByteValueRoundTrips()
    {
        const QByteArray all = allByteValues();
        const QString text = SingleByteCodec::toText(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(SingleByteCodec::toBytes(text), all);
    }

    void bytesReadAsWindows1252_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("codePoint");
        QTest::newRow("A") << 0x41 << 0x41;
        QTest::newRow("NUL") << 0x00 << 0x00;
        QTest::newRow("euro") << 0x80 << 0x20AC;
        QTest::newRow("unassigned 0x81 stays a control") << 0x81 << 0x81;
        QTest::newRow("unassigned 0x9D stays a control") << 0x9D << 0x9D;
        QTest::newRow("left double quote") << 0x93 << 0x201C;
        QTest::newRow("Y diaeresis") << 0x9F << 0x178;
        QTest::newRow("e acute") << 0xE9 << 0xE9;
        QTest::newRow("n tilde") << 0xF1 << 0xF1;
        QTest::newRow("y diaeresis") << 0xFF << 0xFF;
    }
    void bytesReadAsWindows1252()
    {
        QFETCH(int, byte);
        QFETCH(int, codePoint);
        QCOMPARE(SingleByteCodec::toChar(static_cast<unsigned char>(byte)).unicode(), codePoint);
    }

    void charactersWithoutASingleByteFormGoOutAsQuestionMark_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Polish l") << QStringLiteral("łódź")
                                  << QByteArray("?\xF3"
                                                "d?");
        QTest::newRow("emoji is one character") << QStringLiteral("a😀b") << QByteArray("a?b");
        QTest::newRow("C1 control with no byte") << QString(QChar(0x80)) << QByteArray("?");
        QTest::newRow("Spanish") << QStringLiteral("¿Envío?")
                                 << QByteArray("\xBF"
                                               "Env\xEDo?");
        QTest::newRow("euro sign") << QStringLiteral("€") << QByteArray("\x80");
    }
    void charactersWithoutASingleByteFormGoOutAsQuestionMark()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(SingleByteCodec::toBytes(text), bytes);
    }
};

QTEST_APPLESS_MAIN(TestSingleByteCodec)
#include "tst_singlebytecodec.moc"
