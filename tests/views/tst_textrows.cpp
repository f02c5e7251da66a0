#include "views/ByteGlyphs.h"
#include "views/RowScroll.h"
#include "views/TextRows.h"

#include <QFont>
#include <QTest>

#include <map>

namespace {

// A row model over bytes held here, as a pane's is over its record.
struct Rows {
    explicit Rows(int widthInCharacters = 40)
    {
        const ByteGlyphs glyphs{QFont()};
        model.setAdvances(glyphs.advances());
        model.setWidth(widthInCharacters * glyphs.advance('x'));
        model.setReader(
            [this](qint64 from, qint64 to, const std::function<bool(QByteArrayView)>& visit) {
                visit(QByteArrayView(text).sliced(from, to - from));
            });
    }
    void append(QByteArrayView bytes)
    {
        text.append(bytes);
        model.append(bytes);
    }
    QByteArray text;
    TextRows model;
};

QByteArray repeated(QByteArrayView pattern, qsizetype size)
{
    QByteArray bytes;
    bytes.reserve(size);
    while (bytes.size() < size)
        bytes.append(pattern);
    bytes.truncate(size);
    return bytes;
}

// Mixed text: words of every length, lone CR and LF, CR LF, runs of spaces, control bytes.
QByteArray mixed(qsizetype size, quint32 seed)
{
    static const QByteArray pieces[] = {
        "palabra ", "x",  "\r\n",     "\r",
        "\n",       "  ", "\x01\xFF", "larguísima-sin-espacios-que-no-cabe-en-ninguna-fila"};
    QByteArray bytes;
    while (bytes.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        bytes.append(pieces[(seed >> 16) % std::size(pieces)]);
    }
    bytes.truncate(size);
    return bytes;
}

} // namespace

class TestTextRows : public QObject {
    Q_OBJECT

private slots:
    // The index keeps every row's start only for the newest stretch; older rows are found by
    // wrapping their stretch again. They must come out where they were when the bytes came.
    void rowsFoundAgainAreTheRowsWrappedOnArrival_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("piece");
        QTest::newRow("mixed text, narrow") << mixed(60'000, 1) << 12 << 333;
        QTest::newRow("mixed text, wide") << mixed(60'000, 2) << 80 << 333;
        QTest::newRow("CR LF lines") << repeated("OK\r\n", 20'000) << 40 << 333;
        QTest::newRow("no line break at all") << repeated("\x02\x7F\xFFz", 40'000) << 7 << 333;
        QTest::newRow("narrower than a character") << mixed(20'000, 3) << 0 << 333;
        // As serial characters come: one by one.
        QTest::newRow("mixed text, a byte at a time") << mixed(30'000, 4) << 12 << 1;
        QTest::newRow("CR LF lines, a byte at a time") << repeated("OK\r\n", 20'000) << 40 << 1;
    }
    void rowsFoundAgainAreTheRowsWrappedOnArrival()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, width);
        QFETCH(int, piece);
        Rows rows(width);
        // The starts of the rows in the newest stretch are exact while it is the newest (but
        // the last one's, which an LF after a CR still moves).
        std::map<qint64, qint64> seen;
        for (qsizetype at = 0; at < text.size(); at += piece) {
            rows.append(
                QByteArrayView(text).sliced(at, std::min<qsizetype>(piece, text.size() - at)));
            const qint64 count = rows.model.rowCount();
            for (qint64 row = (count - 1) & ~(TextRows::kStretchRows - 1); row + 1 < count; ++row)
                seen[row] = rows.model.rowStart(row);
        }
        QVERIFY(rows.model.rowCount() > 8 * TextRows::kStretchRows);
        for (const auto& [row, start] : seen) {
            if (rows.model.rowStart(row) != start)
                QFAIL(qPrintable(QStringLiteral("row %1 starts at %2, wrapped at %3")
                                     .arg(row)
                                     .arg(rows.model.rowStart(row))
                                     .arg(start)));
        }
        // And every byte's row agrees with where rows start, and with the text wrapped whole.
        Rows whole(width);
        whole.append(text);
        QCOMPARE(rows.model.rowCount(), whole.model.rowCount());
        for (qint64 p = 0; p < text.size(); p += 7) {
            const qint64 row = rows.model.rowOf(p);
            QVERIFY(rows.model.rowStart(row) <= p);
            QVERIFY(p < rows.model.rowEnd(row));
            QCOMPARE(row, whole.model.rowOf(p));
        }
    }

    // The index of a device that sends short lines must stay small beside what it received:
    // a row costs at most a little over an eighth of a byte, whatever its length.
    void theIndexCostsAnEighthOfAByteARow_data()
    {
        QTest::addColumn<QByteArray>("pattern");
        QTest::newRow("LF alone") << QByteArray("\n");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("OK CR LF") << QByteArray("OK\r\n");
        QTest::newRow("binary, no line break") << QByteArray("\x01\x02\x03\xFE");
    }
    void theIndexCostsAnEighthOfAByteARow()
    {
        QFETCH(QByteArray, pattern);
        Rows rows(1);
        const QByteArray chunk = repeated(pattern, 1 << 20);
        for (int i = 0; i < 8; ++i)
            rows.model.append(chunk);
        const double perRow = double(rows.model.indexBytes()) / double(rows.model.rowCount());
        QVERIFY2(perRow < 0.14, qPrintable(QString::number(perRow)));
    }

    // Past 2^31 rows the scroll bar's int range cannot count rows: each of its steps stands
    // for several rows, and whoever watches the end still follows it as rows arrive.
    void theTopFollowsTheEndAtAnyLength_data()
    {
        QTest::addColumn<qint64>("lastTop");
        QTest::newRow("a few rows") << qint64(40);
        QTest::newRow("the bar's own range") << RowScroll::kBarLimit;
        QTest::newRow("past 2^31") << (qint64(1) << 31) + 12345;
        QTest::newRow("a trillion") << qint64(1'000'000'000'000);
    }
    void theTopFollowsTheEndAtAnyLength()
    {
        QFETCH(qint64, lastTop);
        RowScroll scroll;
        scroll.grow(lastTop);
        QCOMPARE(scroll.top(), lastTop);
        for (const qint64 more : {qint64(1), qint64(7), qint64(1) << 20}) {
            scroll.grow(scroll.lastTop() + more);
            QCOMPARE(scroll.top(), scroll.lastTop());
            QCOMPARE(scroll.barValue(), scroll.barMaximum());
            QVERIFY(scroll.barMaximum() <= RowScroll::kBarLimit);
        }
        // Someone who scrolled back stays there, a row short of the end is short of the bar's.
        scroll.setTop(scroll.lastTop() - 1);
        QVERIFY(scroll.barValue() < scroll.barMaximum());
        const qint64 kept = scroll.top();
        scroll.grow(scroll.lastTop() + 1000);
        QCOMPARE(scroll.top(), kept);
    }

    // The bar's places map onto rows in order, its ends onto the first and last top, and a
    // top read back from its own place is within one of the bar's steps of it.
    void theBarMapsOntoRowsInOrder_data() { theTopFollowsTheEndAtAnyLength_data(); }
    void theBarMapsOntoRowsInOrder()
    {
        QFETCH(qint64, lastTop);
        RowScroll scroll;
        scroll.grow(lastTop);
        const int maximum = scroll.barMaximum();
        QCOMPARE(scroll.rowAtBar(0), qint64(0));
        QCOMPARE(scroll.rowAtBar(maximum), lastTop);
        const qint64 rowsPerStep = (lastTop + maximum - 1) / std::max(1, maximum);
        qint64 previous = -1;
        for (int value : {0, 1, 2, maximum / 3, maximum / 2, maximum - 2, maximum - 1, maximum}) {
            value = std::clamp(value, 0, maximum);
            const qint64 row = scroll.rowAtBar(value);
            QVERIFY(row >= previous);
            previous = row;
            scroll.setTop(row);
            QCOMPARE(scroll.barValue(), value);
        }
        for (const qint64 top : {qint64(0), lastTop / 3, lastTop - 1, lastTop}) {
            scroll.setTop(top);
            const qint64 back = scroll.rowAtBar(scroll.barValue());
            QVERIFY(back <= top && top - back < std::max<qint64>(1, rowsPerStep));
        }
    }
};

QTEST_MAIN(TestTextRows)
#include "tst_textrows.moc"
