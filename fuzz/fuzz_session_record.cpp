// The session record, for any sequence of what handlers do to it (chunks received and shown in
// a pane after a prefix or as they are, chunks no pane shows, lines written to panes, "Limpiar"),
// read back at any moment against a plain model of what it must hold:
// - each pane holds exactly what was written to it since its last "Limpiar", read in any range;
// - each code row holds its chunk, whole, with the link of the pane that showed it, and lies
//   where that pane shows it, whatever its bytes are like (its line's prefix, a line break);
// - the received row at a pane position (the one holding the byte there, or the next), and the
//   link's row before it, are found as a scan of the rows would find them;
// - a snapshot, read after more was written and blocks were sealed and compressed, still
//   holds what the record held when it was taken, and a search of it finds in each pane the
//   match a plain scan finds, next or previous from any place, across blocks.
// The fuzzing build makes blocks tiny (64 bytes, four rows), so inputs cross many of them.
#include "FuzzSupport.h"

#include "record/RecordSearch.h"
#include "record/SessionRecord.h"
#include "support/RecordProbe.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace {

struct Model {
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

const std::array<QByteArray, 3> kPrefixes{"Cliente : ", "Servidor : ", ""};

// Needles taken from the text (short, and longer than a block), sought from its start, middle
// and end.
void checkSearch(const RecordSnapshot& snapshot, Link link, const QByteArray& text)
{
    const std::atomic<bool> running{false};
    for (const qsizetype length : {1, 70}) {
        for (const qsizetype at : {text.size() / 3, text.size() - length}) {
            const QByteArray needle = text.mid(std::max<qsizetype>(0, at), length);
            if (needle.isEmpty())
                continue;
            for (const qint64 from : {qint64(0), text.size() / 2, text.size()}) {
                qint64 next = text.indexOf(needle, from);
                if (next < 0)
                    next = text.indexOf(needle);
                qint64 previous = from > 0 ? text.lastIndexOf(needle, from - 1) : -1;
                // (Qt 6.4's lastIndexOf() without a start may answer size() for a one-byte needle.)
                if (previous < 0)
                    previous = text.lastIndexOf(needle, text.size() - needle.size());
                FUZZ_CHECK_EQUAL(RecordSearch::findInPane(snapshot, link, needle, from,
                                                          RecordSearch::Direction::Next, running)
                                     .position,
                                 next);
                FUZZ_CHECK_EQUAL(RecordSearch::findInPane(snapshot, link, needle, from,
                                                          RecordSearch::Direction::Previous,
                                                          running)
                                     .position,
                                 previous);
            }
        }
    }
}

void checkSnapshot(const RecordSnapshot& snapshot, const Model& model)
{
    for (std::size_t pane = 0; pane < model.panes.size(); ++pane) {
        QByteArray read;
        snapshot.forEachPaneSpan(Link(pane), [&read](QByteArrayView span) {
            read += span;
            return true;
        });
        FUZZ_CHECK_EQUAL(snapshot.paneSize(Link(pane)), model.panes[pane].size());
        FUZZ_CHECK_EQUAL(read, model.panes[pane]);
        checkSearch(snapshot, Link(pane), read);
        RecordSnapshot::LinkRows linkRows = snapshot.linkRows(Link(pane));
        RecordSnapshot::LinkRows::Row got;
        for (const Model::Row& want : model.rows) {
            if (want.link != Link(pane) || want.bytes.isEmpty())
                continue;
            FUZZ_CHECK(linkRows.next(got));
            FUZZ_CHECK_EQUAL(got.panePosition, want.position - model.cleared[pane]);
            FUZZ_CHECK_EQUAL(got.length, want.bytes.size());
        }
        FUZZ_CHECK(!linkRows.next(got));
    }
    FUZZ_CHECK_EQUAL(snapshot.codeRowCount(), qint64(model.rows.size()));
    std::size_t row = 0;
    snapshot.forEachCodeRow([&](const CodeRowEntry& entry) {
        FUZZ_CHECK(row < model.rows.size());
        FUZZ_CHECK(entry.link == model.rows[row].link);
        FUZZ_CHECK_EQUAL(entry.bytes.toByteArray(), model.rows[row].bytes);
        ++row;
        return true;
    });
    FUZZ_CHECK_EQUAL(row, model.rows.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ensureCoreApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    SessionRecord record;
    Model model;
    std::vector<std::pair<RecordSnapshot, Model>> snapshots;

    while (input.remaining_bytes() > 0) {
        const int action = input.ConsumeIntegralInRange(0, 7);
        const auto pane = input.ConsumeIntegralInRange<std::size_t>(0, 2);
        QByteArray& text = model.panes[pane];
        switch (action) {
        case 0:
        case 1: { // a received chunk, shown in its pane after a prefix (or as it is)
            const std::string bytes =
                input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 200));
            const QByteArray chunk(bytes.data(), qsizetype(bytes.size()));
            const QByteArray& prefix = kPrefixes[pane];
            const bool asLine = action == 0;
            record.addCodeRow(chunk);
            if (asLine)
                record.appendToPane(Link(pane), prefix);
            const qint64 position =
                model.cleared[pane] + text.size() + (asLine ? prefix.size() : 0);
            record.appendReceived(Link(pane), chunk);
            if (asLine)
                record.appendToPane(Link(pane), "\r\n");
            text += (asLine ? prefix : QByteArray()) + chunk + (asLine ? "\r\n" : "");
            model.rows.push_back({Link(int(pane)), chunk, position});
            break;
        }
        case 2: { // a chunk no pane shows, then a line of another handler
            const std::string bytes =
                input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(1, 100));
            const QByteArray chunk(bytes.data(), qsizetype(bytes.size()));
            record.addCodeRow(chunk);
            const QByteArray line = "*** Error : " + chunk + "!\r\n";
            record.appendToPane(Link(pane), line);
            text += line;
            model.rows.push_back({Link::Unknown, chunk});
            break;
        }
        case 3: // "Limpiar"
            record.clearPane(Link(pane));
            model.cleared[pane] += text.size();
            text.clear();
            break;
        case 4: { // a view reads a range of a pane
            const qint64 from = input.ConsumeIntegralInRange<qint64>(0, text.size());
            const qint64 length = input.ConsumeIntegralInRange<qint64>(0, text.size() + 10);
            FUZZ_CHECK_EQUAL(record.paneSize(Link(pane)), text.size());
            FUZZ_CHECK_EQUAL(record.paneBytes(Link(pane), from, length), text.mid(from, length));
            if (from < text.size())
                FUZZ_CHECK_EQUAL(record.paneByte(Link(pane), from),
                                 static_cast<unsigned char>(text[from]));
            qint64 want = -1;
            qint64 before = -1;
            for (std::size_t r = 0; r < model.rows.size() && want < 0; ++r) {
                const Model::Row& row = model.rows[r];
                if (row.link != Link(pane) || row.bytes.isEmpty())
                    continue;
                if (row.position - model.cleared[pane] + row.bytes.size() > from)
                    want = qint64(r);
                else
                    before = qint64(r);
            }
            FUZZ_CHECK_EQUAL(record.receivedRowFrom(Link(pane), from), want);
            if (want >= 0) {
                FUZZ_CHECK_EQUAL(record.previousRowOfLink(want), before);
                FUZZ_CHECK_EQUAL(record.codeRowPanePosition(want),
                                 model.rows[std::size_t(want)].position - model.cleared[pane]);
            }
            break;
        }
        case 5: { // the list reads a row
            FUZZ_CHECK_EQUAL(record.codeRowCount(), qint64(model.rows.size()));
            if (model.rows.empty())
                break;
            const auto row = input.ConsumeIntegralInRange<std::size_t>(0, model.rows.size() - 1);
            const qint64 head = input.ConsumeIntegralInRange<qint64>(-1, 50);
            const QByteArray& bytes = model.rows[row].bytes;
            FUZZ_CHECK_EQUAL(record.codeRowLength(qint64(row)), bytes.size());
            FUZZ_CHECK_EQUAL(record.codeRowBytes(qint64(row), head),
                             head < 0 ? bytes : bytes.left(head));
            // The newest row's link is known once its pane has taken it, or the next row came.
            if (row + 1 < model.rows.size()) {
                const Model::Row& want = model.rows[row];
                FUZZ_CHECK(record.codeRowLink(qint64(row)) == want.link);
                FUZZ_CHECK_EQUAL(RecordProbe::panePosition(record, qint64(row)),
                                 want.link == Link::Unknown
                                     ? -1
                                     : want.position - model.cleared[std::size_t(want.link)]);
            }
            break;
        }
        case 6:
            SessionRecord::waitUntilCompressed(5'000);
            break;
        case 7:
            if (snapshots.size() < 4)
                snapshots.emplace_back(record.snapshot(), model);
            break;
        }
    }

    snapshots.emplace_back(record.snapshot(), model);
    for (const auto& [snapshot, then] : snapshots)
        checkSnapshot(snapshot, then);
    for (std::size_t pane = 0; pane < model.panes.size(); ++pane)
        FUZZ_CHECK_EQUAL(record.paneBytes(Link(pane), 0, record.paneSize(Link(pane))),
                         model.panes[pane]);
    return 0;
}
