// The log pane's row model (TextRows), for any bytes arriving in any pieces, at any width:
// - the rows do not depend on how the bytes were cut into appends: pieces give the same rows
//   as one append;
// - the rows are those of a plain reading of the wrapping rules, byte by byte: CR, LF and
//   CR LF end a row; a row takes characters while they fit; a space that does not fit ends its
//   row; otherwise the word that does not fit moves to the next row if it fits there, else the
//   character does; a character wider than the pane has a row of its own;
// - every row fits the pane, but for a single character wider than it and a space that ended
//   its row.
// - a row's start and end, and the row of every byte, agree with each other; rows before the
//   newest stretch are found again by wrapping their stretch anew from the text (stretches of
//   four rows in this build), and must come out the same.
#include "FuzzSupport.h"

#include "views/ByteGlyphs.h"
#include "views/TextRows.h"

#include <QFont>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

namespace {

TextRows* g_whole = nullptr;
TextRows* g_pieces = nullptr;
ByteGlyphs* g_glyphs = nullptr;
// The bytes of the current input, read back by the models to find rows in earlier stretches.
QByteArray g_stream;

// Where each row starts, by the rules read plainly, for bytes that start a fresh row.
std::vector<qint64> plainRows(const QByteArray& bytes, int limit)
{
    std::vector<qint64> starts{0};
    qint64 rowStart = 0;
    int rowWidth = 0;
    unsigned char previous = 0;
    const auto startRow = [&](qint64 at) {
        starts.push_back(at);
        rowStart = at;
    };
    for (qint64 p = 0; p < bytes.size(); ++p) {
        const auto byte = static_cast<unsigned char>(bytes[p]);
        const int width = g_glyphs->advance(byte);
        if (byte == '\r' || byte == '\n') {
            // CR LF and CR CR end the row the first CR ended.
            if (previous == '\r' && rowStart == p) {
                starts.back() = rowStart = p + 1;
            } else {
                startRow(p + 1);
            }
            rowWidth = 0;
        } else if (rowWidth + width <= limit) {
            rowWidth += width;
        } else if (rowWidth == 0) {
            rowWidth = width;
        } else if (byte == ' ') {
            startRow(p + 1);
            rowWidth = 0;
        } else {
            const qint64 space = bytes.lastIndexOf(' ', p - 1);
            int wordWidth = width;
            for (qint64 q = space + 1; q < p; ++q)
                wordWidth += g_glyphs->advance(static_cast<unsigned char>(bytes[q]));
            if (space >= rowStart && wordWidth <= limit) {
                startRow(space + 1);
                rowWidth = wordWidth;
            } else {
                startRow(p);
                rowWidth = width;
            }
        }
        previous = byte;
    }
    return starts;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ensureWidgetApplication();
    g_glyphs = new ByteGlyphs(QFont());
    g_whole = new TextRows;
    g_pieces = new TextRows;
    for (TextRows* rows : {g_whole, g_pieces}) {
        rows->setAdvances(g_glyphs->advances());
        rows->setReader(
            [](qint64 from, qint64 to, const std::function<bool(QByteArrayView)>& visit) {
                visit(QByteArrayView(g_stream).sliced(from, to - from));
            });
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    // Down to panes narrower than one character.
    const int width = input.ConsumeIntegralInRange(1, 700);
    const int limit = width * ByteGlyphs::kUnitsPerPixel;

    std::vector<QByteArray> pieces;
    QByteArray& stream = g_stream;
    stream.clear();
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 64);
        const std::string piece = input.ConsumeBytesAsString(length);
        pieces.emplace_back(piece.data(), qsizetype(piece.size()));
        stream += pieces.back();
    }

    for (TextRows* rows : {g_whole, g_pieces}) {
        rows->setWidth(limit);
        rows->clear();
    }
    g_whole->append(stream);
    for (const QByteArray& piece : pieces)
        g_pieces->append(piece);
    FUZZ_CHECK_EQUAL(g_whole->size(), stream.size());
    FUZZ_CHECK_EQUAL(g_pieces->size(), stream.size());

    FUZZ_CHECK_EQUAL(g_pieces->rowCount(), g_whole->rowCount());
    for (qint64 p = 0; p <= stream.size(); ++p) {
        if (g_pieces->rowOf(p) != g_whole->rowOf(p))
            FUZZ_FAIL("rows differ by how the bytes arrived",
                      QStringLiteral("at byte %1: row %2 in pieces, %3 in one append")
                          .arg(p)
                          .arg(g_pieces->rowOf(p))
                          .arg(g_whole->rowOf(p)));
    }

    const std::vector<qint64> expected = plainRows(stream, limit);
    FUZZ_CHECK_EQUAL(g_whole->rowCount(), qint64(expected.size()));
    std::size_t row = 0;
    for (qint64 p = 0; p <= stream.size(); ++p) {
        while (row + 1 < expected.size() && expected[row + 1] <= p)
            ++row;
        if (g_whole->rowOf(p) != qint64(row))
            FUZZ_FAIL("rows differ from the rules read plainly",
                      QStringLiteral("at byte %1 (width %2): row %3, expected %4")
                          .arg(p)
                          .arg(width)
                          .arg(g_whole->rowOf(p))
                          .arg(row));
    }

    for (std::size_t r = 0; r < expected.size(); ++r) {
        const qint64 end = r + 1 < expected.size() ? expected[r + 1] : stream.size();
        FUZZ_CHECK_EQUAL(g_whole->rowStart(qint64(r)), expected[r]);
        FUZZ_CHECK_EQUAL(g_whole->rowEnd(qint64(r)), end);
    }

    // Every row fits, but for a lone character wider than the pane and a space that ended
    // its row.
    for (std::size_t r = 0; r < expected.size(); ++r) {
        const qint64 from = expected[r];
        qint64 to = r + 1 < expected.size() ? expected[r + 1] : stream.size();
        while (to > from && (stream[to - 1] == '\r' || stream[to - 1] == '\n'))
            --to;
        if (to > from && stream[to - 1] == ' ' && r + 1 < expected.size() && expected[r + 1] == to)
            --to;
        int rowWidth = 0;
        for (qint64 q = from; q < to; ++q)
            rowWidth += g_glyphs->advance(static_cast<unsigned char>(stream[q]));
        if (rowWidth > limit && to - from > 1)
            FUZZ_FAIL("a row wider than the pane",
                      QStringLiteral("row %1 (bytes %2 to %3) is %4 units wide, the pane %5; ")
                              .arg(r)
                              .arg(from)
                              .arg(to)
                              .arg(rowWidth)
                              .arg(limit) +
                          fuzzShow(stream));
    }
    return 0;
}
