#include "serial/ErrorMarkDecoder.h"
#include "serial/LineSettings.h"
#include "serial/NativeLine.h"
#include "support/ByteSamples.h"

#include <QTest>

#include <termios.h>

namespace {

const QByteArray kMark = QByteArrayLiteral("\xFF");
const QByteArray kError = QByteArray("\xFF\x00", 2);

// What a terminal marking input errors delivers for bytes received cleanly.
QByteArray marked(const QByteArray& clean)
{
    QByteArray out;
    for (const char c : clean) {
        out.append(c);
        if (c == kMark[0])
            out.append(c);
    }
    return out;
}

// The stream decoded in two reads split at `at`, then one byte per read.
QByteArray decodedSplit(const QByteArray& stream, qsizetype at)
{
    ErrorMarkDecoder decoder;
    const QByteArray first = decoder.decode(stream.left(at));
    return first + decoder.decode(stream.mid(at));
}

QByteArray decodedByteByByte(const QByteArray& stream)
{
    ErrorMarkDecoder decoder;
    QByteArray out;
    for (qsizetype i = 0; i < stream.size(); ++i)
        out += decoder.decode(stream.mid(i, 1));
    return out;
}

LineSettings line(qint32 baud, QSerialPort::Parity parity, QSerialPort::DataBits data,
                  QSerialPort::StopBits stop)
{
    return {baud, parity, data, stop};
}

} // namespace

class TestSerialLine : public QObject {
    Q_OBJECT

private slots:
    // However the reads split the stream, a marked error becomes one "?", a doubled 0xFF one
    // 0xFF, and every other byte (NUL included) itself.
    void markedInputDecodes_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("decoded");
        QTest::newRow("plain, NULs kept") << QByteArray("a\0b\0", 4) << QByteArray("a\0b\0", 4);
        QTest::newRow("a real 0xFF") << kMark + kMark << kMark;
        QTest::newRow("0xFF runs")
            << kMark + kMark + kMark + kMark + "x" + kMark + kMark << kMark + kMark + "x" + kMark;
        QTest::newRow("a parity error") << "a" + kError + "b" + "c" << QByteArrayLiteral("a?c");
        QTest::newRow("errors on 0x00, 0xFF and '?'")
            << kError + '\0' + kError + kMark + kError + "?" << QByteArrayLiteral("???");
        QTest::newRow("a 0xFF next to an error")
            << kMark + kMark + kError + "z" + kMark + kMark << kMark + "?" + kMark;
        QTest::newRow("a mark no terminal writes stands for itself") << kMark + "A" << kMark + "A";
    }
    void markedInputDecodes()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, decoded);
        for (qsizetype at = 0; at <= stream.size(); ++at)
            QCOMPARE(decodedSplit(stream, at), decoded);
        QCOMPARE(decodedByteByByte(stream), decoded);
    }

    // Each of the 256 values survives alone and in a stream split anywhere; each, received
    // with an error, becomes "?". An unfinished mark is forgotten by reset().
    void everyByteValue()
    {
        const QByteArray all = allByteValues();
        for (int b = 0; b < 256; ++b) {
            const QByteArray one(1, char(b));
            ErrorMarkDecoder decoder;
            QCOMPARE(decoder.decode(marked(one)), one);
            QCOMPARE(decoder.decode(kError + one), QByteArrayLiteral("?"));
        }
        const QByteArray stream = marked(all + all);
        for (qsizetype at = 0; at <= stream.size(); ++at)
            QCOMPARE(decodedSplit(stream, at), all + all);

        ErrorMarkDecoder decoder;
        QCOMPARE(decoder.decode(kError), QByteArray());
        decoder.reset();
        QCOMPARE(decoder.decode("x"), QByteArrayLiteral("x"));
    }

    // Whatever a line was left in (mark parity by another program, input errors ignored or
    // bytes stripped to 7 bits), the terminal is asked for exactly the parity wanted, with
    // input errors checked and marked; read back, it is that parity.
    void theTerminalIsAskedForExactlyTheLine_data()
    {
        QTest::addColumn<QSerialPort::Parity>("parity");
        QTest::addColumn<tcflag_t>("qtSets"); // what Qt's own settings leave in c_cflag
        QTest::newRow("none") << QSerialPort::NoParity << tcflag_t(0);
        QTest::newRow("even") << QSerialPort::EvenParity << tcflag_t(PARENB);
        QTest::newRow("odd") << QSerialPort::OddParity << tcflag_t(PARENB | PARODD);
        QTest::newRow("mark") << QSerialPort::MarkParity << tcflag_t(PARENB | PARODD);
        QTest::newRow("space") << QSerialPort::SpaceParity << tcflag_t(PARENB);
    }
    void theTerminalIsAskedForExactlyTheLine()
    {
#ifndef QUORVANE_TERMIOS
        QSKIP("the portable build leaves the terminal as QSerialPort sets it");
#else
        QFETCH(QSerialPort::Parity, parity);
        QFETCH(tcflag_t, qtSets);
        termios left{};
        left.c_cflag = CMSPAR | CS8 | qtSets;
        left.c_iflag = IGNPAR | ISTRIP;
        requestLine(left, parity);
        QCOMPARE(left.c_iflag, tcflag_t(INPCK | PARMRK));
        const LineSettings running = runningLine(left, 9600);
        QCOMPARE(running.parity, parity);
        QCOMPARE(running.dataBits, QSerialPort::Data8);
#endif
    }

    // What the device runs against what was asked, in the operator's words.
    void differencesAreToldInWords_data()
    {
        QTest::addColumn<LineSettings>("asked");
        QTest::addColumn<LineSettings>("running");
        QTest::addColumn<QString>("told");
        const auto n = QSerialPort::NoParity;
        const auto d8 = QSerialPort::Data8;
        const auto one = QSerialPort::OneStop;
        QTest::newRow("the same") << line(9600, n, d8, one) << line(9600, n, d8, one) << "";
        QTest::newRow("a speed within 2%")
            << line(9600, n, d8, one) << line(9615, n, d8, one) << "";
        QTest::newRow("a speed clamped")
            << line(4000000, n, d8, one) << line(115200, n, d8, one)
            << "se pidió 4000000 baudios, y el dispositivo funciona a 115200 baudios";
        QTest::newRow("all four") << line(1200, QSerialPort::MarkParity, QSerialPort::Data7, one)
                                  << line(9600, QSerialPort::EvenParity, d8, QSerialPort::TwoStop)
                                  << "se pidió 1200 baudios, paridad marca, 7 bits de datos y 1 "
                                     "bit de parada, y el dispositivo funciona a 9600 baudios, "
                                     "con paridad par, con 8 bits de datos y con 2 bits de parada";
    }
    void differencesAreToldInWords()
    {
        QFETCH(LineSettings, asked);
        QFETCH(LineSettings, running);
        QTEST(asked.differencesFrom(running), "told");
    }
};

QTEST_MAIN(TestSerialLine)
#include "tst_serialline.moc"
