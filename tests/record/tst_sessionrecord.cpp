#include "record/SessionRecord.h"
#include "support/ByteSamples.h"
#include "support/RecordProbe.h"
#include "views/LogPane.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <array>
#include <thread>
#include <vector>

namespace {

// What the record must hold, kept the plain way.
struct Expected {
    struct Row {
        Link link;
        QByteArray bytes;
        qint64 position = -1; // in its pane, counted from its first byte ever
    };
    std::array<QByteArray, 3> panes;
    // What "Limpiar" removed from each pane.
    std::array<qint64, 3> cleared{};
    std::vector<Row> rows;
};

enum class Shape {
    SerialCharacters,
    SocketLines,
    ChunksNoPaneShows,
    EmptyChunks,
    // Chunks that are the same bytes as their line's prefix, or its line break.
    ChunksLikeTheirLine,
};

const QByteArray kLikeTheirLine[] = {"Cliente : ", "\r\n", "Cliente : \r\n", "e"};

// The record behind three panes, written the way the handlers write it.
struct Session {
    Session()
    {
        for (std::size_t i = 0; i < panes.size(); ++i)
            panes[i].attach(record, Link(i));
    }
    LogPane& pane(Link which) { return panes[std::size_t(which)]; }

    // A received chunk: its row, then (but for chunks no pane shows) its pane's write.
    void receive(Shape shape, Link which, const QByteArray& chunk)
    {
        record.addCodeRow(chunk);
        Link link = which;
        QByteArray& text = expected.panes[std::size_t(which)];
        qint64 position = expected.cleared[std::size_t(which)] + text.size();
        switch (shape) {
        case Shape::SerialCharacters:
        case Shape::EmptyChunks:
            pane(which).appendReceived(chunk);
            text += chunk;
            break;
        case Shape::SocketLines:
        case Shape::ChunksLikeTheirLine:
            AppendLog(pane(which), u"Cliente : ", chunk);
            text += "Cliente : " + chunk + "\r\n";
            position += 10;
            break;
        case Shape::ChunksNoPaneShows:
            link = Link::Unknown;
            AppendLog(pane(which), u"*** Error : ", QStringView(u"otra cosa"));
            text += "*** Error : otra cosa\r\n";
            break;
        }
        expected.rows.push_back({link, chunk, position});
    }

    void clear(Link which)
    {
        pane(which).clear();
        expected.cleared[std::size_t(which)] += expected.panes[std::size_t(which)].size();
        expected.panes[std::size_t(which)].clear();
    }

    SessionRecord record;
    std::array<LogPane, 3> panes;
    Expected expected;
};

// Feeds about 1.5 MB in the given shape to all three panes in turn, with a "Limpiar" of the
// serial pane half way.
void feed(Session& session, Shape shape)
{
    const QByteArray bytes = varied(1'500'000);
    qsizetype at = 0;
    quint32 state = 11;
    int turn = 0;
    while (at < bytes.size()) {
        state = state * 1664525u + 1013904223u;
        qsizetype size = 1;
        if (shape == Shape::EmptyChunks)
            size = turn % 3 == 0 ? 0 : 1 + qsizetype(state >> 20) % 300'000;
        else if (shape != Shape::SerialCharacters)
            size = 1 + qsizetype(state >> 12) % 200'000; // many cross a block boundary
        else if (turn > 300'000)
            size = bytes.size(); // enough characters, one by one
        const Link which = shape == Shape::SerialCharacters ? Link::Serial : Link(turn % 3);
        QByteArray chunk = bytes.mid(at, size);
        if (shape == Shape::ChunksLikeTheirLine) {
            chunk = kLikeTheirLine[turn % std::size(kLikeTheirLine)];
            size = 500;
        }
        session.receive(shape, which, chunk);
        at += size;
        if (++turn == 1000)
            session.clear(Link::Serial);
    }
}

bool holdsWhatWasExpected(const SessionRecord& record, const std::array<LogPane, 3>& panes,
                          const Expected& expected)
{
    for (std::size_t i = 0; i < panes.size(); ++i) {
        if (panes[i].bytes() != expected.panes[i]) {
            qWarning("pane %zu differs", i);
            return false;
        }
    }
    if (record.codeRowCount() != qint64(expected.rows.size()))
        return false;
    qint64 total = 0;
    for (std::size_t row = 0; row < expected.rows.size(); ++row) {
        const Expected::Row& want = expected.rows[row];
        total += want.bytes.size();
        // Rows before a "Limpiar" lie before where their pane now begins.
        const qint64 position = want.link == Link::Unknown
                                    ? -1
                                    : want.position - expected.cleared[std::size_t(want.link)];
        if (record.codeRowBytes(qint64(row)) != want.bytes ||
            RecordProbe::panePosition(record, qint64(row)) != position ||
            record.codeRowLength(qint64(row)) != want.bytes.size() ||
            record.codeRowLink(qint64(row)) != want.link) {
            qWarning("row %zu differs", row);
            return false;
        }
    }
    return record.codeRowBytesTotal() == total;
}

// Reads a snapshot whole, as saving does.
Expected readBack(const RecordSnapshot& snapshot)
{
    Expected read;
    for (std::size_t i = 0; i < read.panes.size(); ++i) {
        snapshot.forEachPaneSpan(Link(i), [&](QByteArrayView span) {
            read.panes[i] += span;
            return true;
        });
    }
    snapshot.forEachCodeRow([&](const CodeRowEntry& row) {
        read.rows.push_back({row.link, row.bytes.toByteArray()});
        return true;
    });
    return read;
}

// Read from a row on, as saving the code list after "Limpiar lista" does: across block
// boundaries, from the last row, and from past the end, the rows are the expected ones from
// there.
// Every non-empty received row (a sample of them) is found by where its pane shows it, as the
// times' margin finds a line's, with the row of its link before it; the snapshot hands out
// each link's rows in order, with their places.
bool rowsAreFoundByPanePosition(const SessionRecord& record, const Expected& expected)
{
    const RecordSnapshot snapshot = record.snapshot();
    for (std::size_t pane = 0; pane < 3; ++pane) {
        const Link link = Link(pane);
        RecordSnapshot::LinkRows linkRows = snapshot.linkRows(link);
        RecordSnapshot::LinkRows::Row got;
        qint64 before = -1;
        for (std::size_t r = 0; r < expected.rows.size(); ++r) {
            const Expected::Row& row = expected.rows[r];
            if (row.link != link || row.bytes.isEmpty())
                continue;
            const qint64 at = row.position - expected.cleared[pane];
            if (!linkRows.next(got) || got.panePosition != at || got.length != row.bytes.size()) {
                qWarning("the snapshot's row %zu of pane %zu differs", r, pane);
                return false;
            }
            if (r % 97 == 0 && at >= 0) {
                const qint64 last = at + row.bytes.size() - 1;
                if (record.receivedRowFrom(link, at) != qint64(r) ||
                    record.receivedRowFrom(link, last) != qint64(r) ||
                    record.previousRowOfLink(qint64(r)) != before ||
                    record.codeRowPanePosition(qint64(r)) != at) {
                    qWarning("row %zu of pane %zu is not found where its pane shows it", r, pane);
                    return false;
                }
            }
            before = qint64(r);
        }
        if (linkRows.next(got) || record.receivedRowFrom(link, expected.panes[pane].size()) != -1) {
            qWarning("pane %zu has rows past its end", pane);
            return false;
        }
    }
    return true;
}

bool rowsFromARowOnAreTheExpectedOnes(const RecordSnapshot& snapshot, const Expected& expected)
{
    const auto count = qint64(expected.rows.size());
    constexpr qint64 kBlock = SessionRecord::kRowsPerBlock;
    for (const qint64 from : {count / 3, kBlock - 1, kBlock, kBlock + 1, count - 1, count + 5}) {
        if (from < 0)
            continue;
        qint64 row = std::min(from, count);
        const bool whole = snapshot.forEachCodeRow(
            [&](const CodeRowEntry& entry) {
                const bool same = row < count &&
                                  entry.bytes == expected.rows[std::size_t(row)].bytes &&
                                  entry.link == expected.rows[std::size_t(row)].link;
                ++row;
                return same;
            },
            from);
        if (!whole || row != count) {
            qWarning("rows from %lld differ at %lld", from, row);
            return false;
        }
    }
    return true;
}

bool sameAs(const Expected& read, const Expected& expected)
{
    if (read.panes != expected.panes || read.rows.size() != expected.rows.size())
        return false;
    for (std::size_t row = 0; row < read.rows.size(); ++row) {
        if (read.rows[row].link != expected.rows[row].link ||
            read.rows[row].bytes != expected.rows[row].bytes) {
            qWarning("snapshot row %zu differs", row);
            return false;
        }
    }
    return true;
}

} // namespace

class TestSessionRecord : public QObject {
    Q_OBJECT

private slots:
    // Each byte once, in order, in its row and in its pane, the row where its pane shows it
    // whatever its bytes are like: while its blocks are open, sealed, and compressed, read by
    // the window and through a snapshot.
    void everyByteAppearsOnceInItsRowAndItsPane_data()
    {
        QTest::addColumn<Shape>("shape");
        QTest::newRow("serial characters") << Shape::SerialCharacters;
        QTest::newRow("socket lines after a prefix") << Shape::SocketLines;
        QTest::newRow("chunks no pane shows") << Shape::ChunksNoPaneShows;
        QTest::newRow("empty chunks among others") << Shape::EmptyChunks;
        QTest::newRow("chunks equal to their prefix or line break") << Shape::ChunksLikeTheirLine;
    }
    void everyByteAppearsOnceInItsRowAndItsPane()
    {
        QFETCH(Shape, shape);
        Session session;
        feed(session, shape);
        QVERIFY(holdsWhatWasExpected(session.record, session.panes, session.expected));
        QVERIFY(sameAs(readBack(session.record.snapshot()), session.expected));
        QVERIFY(rowsAreFoundByPanePosition(session.record, session.expected));

        QVERIFY(SessionRecord::waitUntilCompressed(60'000));
        QVERIFY(holdsWhatWasExpected(session.record, session.panes, session.expected));
        QVERIFY(sameAs(readBack(session.record.snapshot()), session.expected));
        QVERIFY(rowsFromARowOnAreTheExpectedOnes(session.record.snapshot(), session.expected));
        // A received byte is not kept twice: what is held is no more than what came, and text
        // that compresses is held in less.
        qint64 written = 0;
        for (const QByteArray& text : session.expected.panes)
            written += text.size();
        if (shape != Shape::ChunksNoPaneShows)
            QVERIFY(session.record.heldBytes() < written + 4 * SessionRecord::kBlockSize);
    }

    // Saving reads a snapshot on a thread of its own while the links keep writing.
    void aSnapshotStaysAsTakenWhileTheRecordGrows()
    {
        Session session;
        feed(session, Shape::SocketLines);
        const Expected atSnapshot = session.expected;
        const RecordSnapshot snapshot = session.record.snapshot();
        Expected read;
        std::thread reader([&] { read = readBack(snapshot); });
        feed(session, Shape::SocketLines);
        reader.join();
        QVERIFY(sameAs(read, atSnapshot));
        QCOMPARE(snapshot.codeRowCount(), qint64(atSnapshot.rows.size()));
        QCOMPARE(snapshot.paneSize(Link::Client), atSnapshot.panes[1].size());

        // A reader that stops is told so.
        int visits = 0;
        QVERIFY(!snapshot.forEachCodeRow([&](const CodeRowEntry&) { return ++visits < 3; }));
        QCOMPARE(visits, 3);
        QVERIFY(!snapshot.forEachPaneSpan(Link::Server, [](QByteArrayView) { return false; }));
    }

    // Characters read in one turn of the event loop share their time of arrival.
    void rowsOfOneTurnShareTheirTimeOfArrival()
    {
        SessionRecord record;
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        for (int i = 0; i < 3; ++i)
            record.addCodeRow("x");
        QCOMPARE(record.codeRowTime(1), record.codeRowTime(0));
        QCOMPARE(record.codeRowTime(2), record.codeRowTime(0));
        QVERIFY(record.codeRowTime(0) >= before);
        QTest::qWait(5); // the next turn, some milliseconds later
        record.addCodeRow("y");
        QVERIFY(record.codeRowTime(3) > record.codeRowTime(0));
        QVERIFY(record.codeRowTime(3) <= QDateTime::currentMSecsSinceEpoch());
    }

    void memoryShortIsToldOnceWhenTheRecordPassesTheLimit()
    {
        SessionRecord record;
        RecordProbe::setMemoryLimit(record, 2 * SessionRecord::kBlockSize);
        QSignalSpy told(&record, &SessionRecord::memoryShort);
        // Bytes no compressor can shrink: what the record holds passes the limit whenever the
        // helper thread gets to them.
        QByteArray chunk(SessionRecord::kBlockSize, Qt::Uninitialized);
        QRandomGenerator random(7);
        random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        record.appendToPane(Link::Serial, chunk);
        QCOMPARE(told.count(), 0);
        for (int i = 0; i < 4; ++i) {
            record.addCodeRow(chunk);
            record.appendReceived(Link::Serial, chunk);
        }
        QCOMPARE(told.count(), 1);
        QVERIFY(told.at(0).at(0).toLongLong() > RecordProbe::memoryLimit(record));
        QCOMPARE(record.paneSize(Link::Serial), 5 * chunk.size());
    }

    // Past its backlog bound the record is behind at once, inside the write that passed it; it
    // has caught up, told from the event loop, once the compressor has brought the backlog down
    // to half the bound. It takes every byte either way.
    void theRecordIsBehindPastItsBacklogBoundUntilTheCompressorCatchesUp()
    {
        SessionRecord record;
        constexpr qint64 kBound = 2 * SessionRecord::kBlockSize;
        RecordProbe::setBacklogBound(record, kBound);
        QSignalSpy behind(&record, &SessionRecord::behindChanged);
        // Far more than the compressor gets through while the write lasts.
        const QByteArray chunk = varied(64 * SessionRecord::kBlockSize);
        record.addCodeRow(chunk);
        record.appendReceived(Link::Client, chunk);
        QCOMPARE(behind.count(), 1);
        QCOMPARE(behind.at(0).at(0).toBool(), true);
        QVERIFY(record.isBehind());

        QVERIFY(behind.wait(60'000));
        QCOMPARE(behind.count(), 2);
        QCOMPARE(behind.at(1).at(0).toBool(), false);
        QVERIFY(!record.isBehind());
        QVERIFY(record.backlogBytes() <= kBound / 2);
        QVERIFY(record.codeRowBytes(0) == chunk);
    }
};

QTEST_MAIN(TestSessionRecord)
#include "tst_sessionrecord.moc"
