#include "record/RecordSnapshot.h"

#include "record/ByteStream.h"
#include "record/RowColumn.h"
#include "record/SealedBlock.h"
#include "record/SessionRecord.h"

#include <QByteArray>

#include <zstd.h>

#include <algorithm>
#include <array>
#include <vector>

using namespace record_detail;

struct RecordSnapshot::Data {
    std::array<SealedBlocks, kStreamCount> sealed;
    std::array<QByteArray, kStreamCount> open;
    std::array<qint64, kStreamCount> size{};
    std::array<qint64, kStreamCount> paneStart{};
    std::vector<std::shared_ptr<const RowBlock>> rowBlocks;
    std::vector<RowEntry> openRows;
};

RecordSnapshot::RecordSnapshot()
    : m_data(std::make_shared<const Data>())
{
}
RecordSnapshot::~RecordSnapshot() = default;
RecordSnapshot::RecordSnapshot(const RecordSnapshot&) = default;
RecordSnapshot& RecordSnapshot::operator=(const RecordSnapshot&) = default;

RecordSnapshot SessionRecord::snapshot() const
{
    settlePending();
    auto data = std::make_shared<RecordSnapshot::Data>();
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        data->sealed[i] = m_streams[i].sealed();
        data->open[i] = m_streams[i].openBytes().toByteArray();
        data->size[i] = m_streams[i].size();
    }
    data->paneStart = m_paneStart;
    data->rowBlocks = m_rowBlocks;
    data->openRows = m_openRows;
    RecordSnapshot snapshot;
    snapshot.m_data = std::move(data);
    return snapshot;
}

qint64 RecordSnapshot::paneSize(Link link) const
{
    return m_data->size[std::size_t(link)] - m_data->paneStart[std::size_t(link)];
}

bool RecordSnapshot::forEachPaneSpan(Link link,
                                     const std::function<bool(QByteArrayView)>& visit) const
{
    const std::size_t stream = std::size_t(link);
    BlockContents held;
    return visitStream(
        m_data->sealed[stream], m_data->open[stream], m_data->paneStart[stream], paneSize(link),
        [&held](const std::shared_ptr<const SealedBlock>& block) {
            held = block->load();
            return held.view();
        },
        visit);
}

struct RecordSnapshot::PaneReader::Buffers {
    BlockContents contents;
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context{ZSTD_createDCtx(), &ZSTD_freeDCtx};
};

RecordSnapshot::PaneReader::PaneReader(const RecordSnapshot& snapshot, Link link)
    : m_data(snapshot.m_data)
    , m_stream(std::size_t(link))
    , m_buffers(std::make_unique<Buffers>())
{
}

RecordSnapshot::PaneReader::~PaneReader() = default;

qint64 RecordSnapshot::PaneReader::pieceCount() const
{
    const qint64 first = m_data->paneStart[m_stream];
    const qint64 end = m_data->size[m_stream];
    return end > first ? ((end - 1) >> kBlockShift) - (first >> kBlockShift) + 1 : 0;
}

qint64 RecordSnapshot::PaneReader::piecePosition(qint64 piece) const
{
    const qint64 first = m_data->paneStart[m_stream];
    return piece <= 0 ? 0 : (((first >> kBlockShift) + piece) << kBlockShift) - first;
}

qint64 RecordSnapshot::PaneReader::pieceAt(qint64 position) const
{
    const qint64 first = m_data->paneStart[m_stream];
    const qint64 piece =
        ((first + std::max<qint64>(0, position)) >> kBlockShift) - (first >> kBlockShift);
    return std::min(piece, std::max<qint64>(0, pieceCount() - 1));
}

QByteArrayView RecordSnapshot::PaneReader::read(qint64 piece)
{
    const qint64 first = m_data->paneStart[m_stream];
    const qint64 end = m_data->size[m_stream];
    const std::size_t index = std::size_t((first >> kBlockShift) + piece);
    const qint64 blockStart = qint64(index) << kBlockShift;
    const qint64 begin = std::max(first, blockStart);
    const qint64 stop = std::min(end, blockStart + kBlockSize);
    const SealedBlocks& sealed = m_data->sealed[m_stream];
    QByteArrayView block = m_data->open[m_stream];
    if (index < sealed.size()) {
        sealed[index]->loadInto(m_buffers->contents, m_buffers->context.get());
        block = m_buffers->contents.view();
    }
    return block.sliced(begin - blockStart, stop - begin);
}

qint64 RecordSnapshot::codeRowCount() const
{
    const auto& blocks = m_data->rowBlocks;
    const qint64 sealedRows = blocks.empty() ? 0 : blocks.back()->firstRow + blocks.back()->count;
    return sealedRows + qint64(m_data->openRows.size());
}

bool RecordSnapshot::forEachCodeRow(const std::function<bool(const CodeRowEntry&)>& visit,
                                    qint64 fromRow) const
{
    // The last block read of each stream stays loaded (rows of a link lie in order in it),
    // into buffers it keeps, decompressed with one context: a capture reads block after block.
    std::array<std::pair<std::size_t, BlockContents>, kStreamCount> loaded;
    for (auto& [index, contents] : loaded)
        index = SIZE_MAX;
    const std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context{ZSTD_createDCtx(),
                                                                       &ZSTD_freeDCtx};
    QByteArray joined;
    const auto visitRow = [&](const RowEntry& row) {
        const std::size_t stream = std::size_t(row.link);
        // Pieces of one row are joined only when the row crosses a block boundary.
        QByteArrayView bytes;
        std::size_t pieces = 0;
        joined.clear();
        visitStream(
            m_data->sealed[stream], m_data->open[stream], row.offset, row.length,
            [&](const std::shared_ptr<const SealedBlock>& block) {
                const std::size_t index = std::size_t(row.offset >> kBlockShift) + pieces;
                if (loaded[stream].first != index) {
                    loaded[stream].first = index;
                    block->loadInto(loaded[stream].second, context.get());
                }
                return loaded[stream].second.view();
            },
            [&](QByteArrayView span) {
                ++pieces;
                if (span.size() == row.length) {
                    bytes = span;
                } else {
                    joined.append(span); // the next block replaces this one
                    bytes = joined;
                }
                return true;
            });
        return visit(CodeRowEntry{row.time, row.link, bytes});
    };
    // Blocks wholly before fromRow are not even decoded.
    qint64 row = 0;
    for (const auto& block : m_data->rowBlocks) {
        row = block->firstRow + block->count;
        if (row <= fromRow)
            continue;
        const std::vector<RowEntry> rows = decodeRows(*block);
        for (auto it = rows.begin() + std::max<qint64>(0, fromRow - block->firstRow);
             it != rows.end(); ++it) {
            if (!visitRow(*it))
                return false;
        }
    }
    const auto& open = m_data->openRows;
    for (auto it = open.begin() + std::clamp<qint64>(fromRow - row, 0, qint64(open.size()));
         it != open.end(); ++it) {
        if (!visitRow(*it))
            return false;
    }
    return true;
}

RecordSnapshot::LinkRows RecordSnapshot::linkRows(Link link) const
{
    LinkRows rows;
    rows.m_data = m_data;
    rows.m_link = link;
    return rows;
}

bool RecordSnapshot::LinkRows::next(Row& row)
{
    for (;;) {
        while (m_index < m_rows.size()) {
            const RowEntry& entry = m_rows[m_index++];
            if (entry.link == m_link && entry.length > 0) {
                const std::size_t stream = std::size_t(m_link);
                row = {entry.offset - m_data->paneStart[stream], entry.length, entry.time};
                return true;
            }
        }
        // One block decoded at a time: the walk holds no more than that.
        if (m_block < m_data->rowBlocks.size()) {
            m_rows = decodeRows(*m_data->rowBlocks[m_block++]);
        } else if (!m_open) {
            m_open = true;
            m_rows = m_data->openRows;
        } else {
            return false;
        }
        m_index = 0;
    }
}

CodeRowEntry RecordSnapshot::paneRowAt(Link link, qint64 position, qint64 length) const
{
    const std::size_t stream = std::size_t(link);
    const qint64 start = m_data->paneStart[stream] + position;
    const qint64 end = start + std::max<qint64>(length, 1);
    // Rows before a block whose link stood at or before start all end there: skip them.
    const auto& blocks = m_data->rowBlocks;
    auto it = std::upper_bound(blocks.begin(), blocks.end(), start,
                               [stream](qint64 at, const std::shared_ptr<const RowBlock>& block) {
                                   return at < block->linkEnd[stream];
                               });
    if (it != blocks.begin())
        --it;
    const auto take = [&](const RowEntry& row, CodeRowEntry& found) {
        if (row.link != link || row.offset + row.length <= start)
            return false;
        if (row.offset < end)
            found = CodeRowEntry{row.time, row.link, {}};
        return true; // the first of the link's rows past start decides
    };
    CodeRowEntry found;
    for (; it != blocks.end(); ++it) {
        for (const RowEntry& row : decodeRows(**it)) {
            if (take(row, found))
                return found;
        }
    }
    for (const RowEntry& row : m_data->openRows) {
        if (take(row, found))
            return found;
    }
    return found;
}
