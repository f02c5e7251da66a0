#include "codes/CodeRows.h"
#include "codes/SessionCsv.h"
#include "support/ByteSamples.h"
#include "support/Saving.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

namespace {

struct Chunk {
    qint64 msecs;
    Link link;
    QByteArray bytes;
};

SessionSource sessionOf(const std::vector<Chunk>& chunks)
{
    return {qint64(chunks.size()), [chunks](const std::function<bool(const CodeRowEntry&)>& visit) {
                for (const Chunk& chunk : chunks) {
                    if (!visit({chunk.msecs, chunk.link, chunk.bytes}))
                        return false;
                }
                return true;
            }};
}

// RFC 4180, as a spreadsheet reads it: fields split at commas, rows at CR LF, a field in
// double quotes may hold commas, line breaks and doubled quotes.
std::optional<std::vector<QStringList>> parseCsv(QStringView text)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text[i] == u'"') {
            for (++i;; ++i) {
                if (i >= text.size())
                    return std::nullopt; // an unclosed quote
                if (text[i] == u'"') {
                    if (i + 1 < text.size() && text[i + 1] == u'"')
                        ++i;
                    else
                        break;
                }
                field += text[i];
            }
            ++i;
        }
        while (i < text.size() && text[i] != u',' && text[i] != u'\r') {
            if (text[i] == u'"' || text[i] == u'\n')
                return std::nullopt; // stray quote or bare line feed
            field += text[i++];
        }
        row << std::exchange(field, QString());
        if (i < text.size() && text[i] == u',') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || text[i + 1] != u'\n')
            return std::nullopt; // rows end in CR LF, the last one too
        i += 2;
        rows.push_back(std::exchange(row, QStringList()));
    }
    return rows;
}

// The text column back to bytes; nullopt if it is not written as documented.
std::optional<QByteArray> unescaped(QStringView text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\\') {
            if (text.sliced(i).startsWith(u"\\\\")) {
                bytes += '\\';
                i += 1;
                continue;
            }
            const QStringView digits =
                text.sliced(i).sliced(0, std::min<qsizetype>(4, text.size() - i));
            const auto hex = [](QChar d) {
                return QStringView(u"0123456789ABCDEF").indexOf(d);
            };
            if (digits.size() != 4 || digits[1] != u'x' || hex(digits[2]) < 0 || hex(digits[3]) < 0)
                return std::nullopt;
            const int value = int(hex(digits[2]) * 16 + hex(digits[3]));
            bytes += char(value);
            i += 3;
        } else if ((c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF)) {
            bytes += char(c);
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

// The hexadecimal codes column back to bytes: a comma and two upper-case hexadecimal digits
// per byte; nullopt if it is written otherwise.
std::optional<QByteArray> fromHexCodes(QStringView codes)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < codes.size(); i += 3) {
        const QStringView piece = codes.sliced(i, std::min<qsizetype>(3, codes.size() - i));
        const auto hex = [](QChar d) {
            return QStringView(u"0123456789ABCDEF").indexOf(d);
        };
        if (piece.size() != 3 || piece[0] != u',' || hex(piece[1]) < 0 || hex(piece[2]) < 0)
            return std::nullopt;
        bytes += char(hex(piece[1]) * 16 + hex(piece[2]));
    }
    return bytes;
}

// A morning in Madrid, 2024-03-31: the clocks went from 02:00 to 03:00 at 01:00 UTC.
constexpr qint64 kSummerTimeStarts = 1'711'846'800'000;

QByteArray savedCsv(const std::vector<Chunk>& chunks)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("sesion.csv"));
    const SaveResult result = saveAndWait(path, sessionCsvContent(sessionOf(chunks)));
    if (result.outcome != FileSave::Outcome::Saved)
        qWarning("save failed: %s", qPrintable(result.reason));
    return fileBytes(path);
}

} // namespace

class TestSessionCsv : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Madrid");
        tzset();
    }

    void theCsvReadsBackToTheSameChunks_data()
    {
        const Link links[] = {Link::Server, Link::Client, Link::Serial};
        QTest::addColumn<std::vector<Chunk>>("chunks");
        std::vector<Chunk> singles;
        for (int b = 0; b < 256; ++b)
            singles.push_back(
                {kSummerTimeStarts - 128'000 + b * 1'001, links[b % 3], QByteArray(1, char(b))});
        QTest::newRow("each byte value a chunk of its own") << singles;
        QTest::newRow("all 256 values in one chunk")
            << std::vector<Chunk>{{1'700'000'000'123, Link::Client, allByteValues()}};
        QTest::newRow("quotes, commas, backslashes and line breaks") << std::vector<Chunk>{
            {1'700'000'000'000, Link::Server, QByteArray("a,\"b\"\\c\\x41\r\n")},
            {1'700'000'000'001, Link::Server, QByteArray("\"\"")}};
        QTest::newRow("empty chunks among others")
            << std::vector<Chunk>{{1'700'000'000'000, Link::Serial, QByteArray()},
                                  {1'700'000'000'000, Link::Serial, QByteArray("x")},
                                  {1'700'000'000'999, Link::Serial, QByteArray()}};
        // Long runs of printable text are copied eight bytes at a time: a byte that must be
        // escaped, or the edges of what need not, at every place of such a run, across the
        // slices a row is made in.
        QByteArray logText;
        const char edges[] = {'"', '\\', '\r', '\n', '\x1F', ' ', '~', '\x7F', '\x80', '\xA0'};
        for (int run = 0; run < 1000; ++run)
            logText += QByteArray(run % 19, char('a' + run % 26)) + edges[run % sizeof edges];
        QTest::newRow("device-log text with quotes, backslashes and control bytes")
            << std::vector<Chunk>{{1'700'000'000'000, Link::Serial, logText}};
        QTest::newRow("a chunk larger than a write")
            << std::vector<Chunk>{{1'700'000'000'000, Link::Client, varied(700'000)},
                                  {1'700'000'000'500, Link::Server, varied(300'001)}};
    }
    void theCsvReadsBackToTheSameChunks()
    {
        QFETCH(std::vector<Chunk>, chunks);
        const QByteArray saved = savedCsv(chunks);
        QVERIFY(saved.startsWith("\xEF\xBB\xBF"));
        const QString text = QString::fromUtf8(saved.sliced(3));
        QCOMPARE(text.toUtf8(), saved.sliced(3)); // valid UTF-8 throughout
        const auto rows = parseCsv(text);
        QVERIFY(rows);
        QCOMPARE(rows->size(), chunks.size() + 1);
        QCOMPARE(rows->front(),
                 QString(u"Hora,Enlace,Bytes,Códigos,Hexadecimal,Texto"_qs).split(u','));
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            const QStringList& row = (*rows)[i + 1];
            const Chunk& chunk = chunks[i];
            QCOMPARE(row.size(), 6);
            QCOMPARE(QDateTime::fromString(row[0], Qt::ISODateWithMs).toMSecsSinceEpoch(),
                     chunk.msecs);
            QCOMPARE(row[1], linkName(chunk.link));
            QCOMPARE(row[2], QString::number(chunk.bytes.size()));
            QCOMPARE(row[3], codeRowText(chunk.bytes));
            const auto hexBytes = fromHexCodes(row[4]);
            QVERIFY(hexBytes);
            QCOMPARE(*hexBytes, chunk.bytes);
            const auto bytes = unescaped(row[5]);
            QVERIFY(bytes);
            QCOMPARE(*bytes, chunk.bytes);
        }
    }

    void linksAreNamedInSpanish_data()
    {
        QTest::addColumn<Link>("link");
        QTest::addColumn<QString>("name");
        QTest::newRow("server") << Link::Server << QStringLiteral("Servidor");
        QTest::newRow("client") << Link::Client << QStringLiteral("Cliente");
        QTest::newRow("serial") << Link::Serial << QStringLiteral("Serie");
        QTest::newRow("unknown") << Link::Unknown << QString();
    }
    void linksAreNamedInSpanish()
    {
        QFETCH(Link, link);
        QFETCH(QString, name);
        QCOMPARE(linkName(link), name);
    }

    // Local time to the millisecond, with the offset then in force: across a change to summer
    // time the clock jumps, the instant does not.
    void arrivalTimesAreLocalWithTheirOffset_data()
    {
        QTest::addColumn<qint64>("msecs");
        QTest::addColumn<QString>("written");
        QTest::newRow("last winter millisecond")
            << kSummerTimeStarts - 1 << QStringLiteral("2024-03-31T01:59:59.999+01:00");
        QTest::newRow("first summer millisecond")
            << kSummerTimeStarts << QStringLiteral("2024-03-31T03:00:00.000+02:00");
        QTest::newRow("before 1970 too")
            << qint64(-1) << QStringLiteral("1970-01-01T00:59:59.999+01:00");
        QTest::newRow("not known") << CodeRowEntry::kNoTime << QString();
    }
    void arrivalTimesAreLocalWithTheirOffset()
    {
        QFETCH(qint64, msecs);
        QFETCH(QString, written);
        const auto rows = parseCsv(QString::fromUtf8(
            savedCsv({{kSummerTimeStarts - 1'000, Link::Server, "a"}, {msecs, Link::Server, "b"}})
                .sliced(3)));
        QVERIFY(rows);
        QCOMPARE(rows->at(2).at(0), written);
    }

    void readableTextStaysReadable()
    {
        const auto rows = parseCsv(QString::fromUtf8(savedCsv({{0, Link::Server,
                                                                "Hola, \xF1"
                                                                "and\xFA \\ \x80\x7F\t"}})
                                                         .sliced(3)));
        QVERIFY(rows);
        QCOMPARE(rows->at(1).at(5).toUtf8(), QByteArray("Hola, \xC3\xB1"
                                                        "and\xC3\xBA \\\\ \\x80\\x7F\\x09"));
    }
};

QTEST_MAIN(TestSessionCsv)
#include "tst_sessioncsv.moc"
