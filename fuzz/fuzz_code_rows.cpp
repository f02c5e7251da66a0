// Code rows, for any chunks:
// - codeRowAscii reads back as the chunk: a comma before each code, each code the byte's value
//   in plain decimal (no sign, no leading zero), nothing else; in hexadecimal, each code is
//   the byte's two upper-case hexadecimal digits;
// - a row limited to n codes is the row of the first n bytes, and its text ends in "…" exactly
//   when codes were left out;
// - the code rows keep every chunk whole and in order (count, lengths, bytes, heads), and the
//   code list's model shows each row as its text limited to the shown codes, and copies it
//   whole, in either base; emptied, it shows only the rows that come afterwards.
#include "FuzzSupport.h"

#include "codes/CodeListModel.h"
#include "codes/CodeRows.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// The bytes a row of codes stands for, read the plain way; false if it is not such a row.
bool readCodes(const QByteArray& row, QByteArray& bytes)
{
    bytes.clear();
    if (row.isEmpty())
        return true;
    if (row[0] != ',')
        return false;
    for (const QByteArray& code : row.mid(1).split(',')) {
        if (code.isEmpty() || code.size() > 3 || (code.size() > 1 && code[0] == '0'))
            return false;
        int value = 0;
        for (const char digit : code) {
            if (digit < '0' || digit > '9')
                return false;
            value = value * 10 + (digit - '0');
        }
        if (value > 255)
            return false;
        bytes.append(char(value));
    }
    return true;
}

void checkOneRow(const QByteArray& chunk, qsizetype maxCodes)
{
    const QByteArray row = codeRowAscii(chunk);
    QByteArray readBack;
    if (!readCodes(row, readBack))
        FUZZ_FAIL("a row of codes", fuzzShow(row));
    FUZZ_CHECK_EQUAL(readBack, chunk);
    FUZZ_CHECK_EQUAL(codeRowText(chunk), QString::fromLatin1(row));
    QByteArray hex;
    for (const char byte : chunk)
        hex += ',' + QByteArray(1, byte).toHex().toUpper();
    FUZZ_CHECK_EQUAL(codeRowAscii(chunk, -1, CodeBase::Hexadecimal), hex);

    const QByteArray shown = chunk.left(maxCodes);
    FUZZ_CHECK_EQUAL(codeRowAscii(chunk, maxCodes), codeRowAscii(shown));
    QString expected = QString::fromLatin1(codeRowAscii(shown));
    if (chunk.size() > maxCodes)
        expected += u'…';
    FUZZ_CHECK_EQUAL(codeRowText(chunk, maxCodes), expected);
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
    const auto maxCodes = input.ConsumeIntegralInRange<qsizetype>(0, 300);

    std::vector<QByteArray> chunks;
    SessionRecord record;
    const CodeRows rows(record);
    CodeListModel model(record);
    while (input.remaining_bytes() > 0) {
        // Long chunks too, so that rows over the shown codes come up.
        const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 700);
        const std::string bytes = input.ConsumeBytesAsString(length);
        chunks.emplace_back(bytes.data(), qsizetype(bytes.size()));
        checkOneRow(chunks.back(), maxCodes);
        model.append(chunks.back());
    }

    FUZZ_CHECK_EQUAL(rows.count(), qint64(chunks.size()));
    qint64 total = 0;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const auto row = qint64(i);
        total += chunks[i].size();
        FUZZ_CHECK_EQUAL(rows.length(row), chunks[i].size());
        FUZZ_CHECK_EQUAL(rows.bytes(row), chunks[i]);
        FUZZ_CHECK_EQUAL(rows.head(row, maxCodes), chunks[i].left(maxCodes));
    }
    FUZZ_CHECK_EQUAL(rows.byteCount(), total);

    // Emptied after a third of the chunks: the list shows the rest, in hexadecimal if the
    // input says so.
    const std::size_t cleared = chunks.size() / 3;
    const CodeBase base = chunks.size() % 2 ? CodeBase::Hexadecimal : CodeBase::Decimal;
    SessionRecord emptiedRecord;
    CodeListModel emptied(emptiedRecord);
    for (std::size_t i = 0; i < cleared; ++i)
        emptied.append(chunks[i]);
    emptied.clear();
    for (std::size_t i = cleared; i < chunks.size(); ++i)
        emptied.append(chunks[i]);
    emptied.setCodeBase(base);

    model.publish();
    emptied.publish();
    FUZZ_CHECK_EQUAL(model.rowCount(), int(chunks.size()));
    FUZZ_CHECK_EQUAL(emptied.rowCount(), int(chunks.size() - cleared));
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const QModelIndex index = model.index(int(i));
        FUZZ_CHECK_EQUAL(model.data(index, Qt::DisplayRole).toString(),
                         codeRowText(chunks[i], CodeListModel::kShownCodes));
        FUZZ_CHECK_EQUAL(model.data(index, Qt::EditRole).toString(), codeRowText(chunks[i]));
        FUZZ_CHECK_EQUAL(model.data(index, CodeListModel::kHeadBytesRole).toByteArray(),
                         chunks[i].left(CodeListModel::kShownCodes + 1));
        if (i < cleared)
            continue;
        const QModelIndex shown = emptied.index(int(i - cleared));
        FUZZ_CHECK_EQUAL(emptied.data(shown, Qt::DisplayRole).toString(),
                         codeRowText(chunks[i], CodeListModel::kShownCodes, base));
        FUZZ_CHECK_EQUAL(emptied.data(shown, Qt::EditRole).toString(),
                         codeRowText(chunks[i], -1, base));
    }
    return 0;
}
