#include "record/SessionRecord.h"

#include "record/BlockCache.h"
#include "record/BlockTally.h"
#include "record/Compressor.h"
#include "record/SealedBlock.h"

#include <QDateTime>
#include <QMetaObject>

#include <algorithm>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

using namespace record_detail;

namespace {

qint64 defaultMemoryLimit()
{
#if defined(Q_OS_UNIX)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return qint64(pages) * pageSize / 2;
#endif
    return qint64(4) << 30;
}

std::size_t at(Link link)
{
    return std::size_t(link);
}

} // namespace

SessionRecord::SessionRecord(QObject* parent)
    : QObject(parent)
    , m_tally(std::make_shared<BlockTally>())
    , m_memoryLimit(defaultMemoryLimit())
    , m_cache(std::make_unique<BlockCache>())
{
    // The compressor's thread says when the backlog came down; the record looks on its own.
    m_tally->setWake([this] {
        QMetaObject::invokeMethod(
            this, [this] { checkBacklog(); }, Qt::QueuedConnection);
    });
}

SessionRecord::~SessionRecord()
{
    m_tally->setWake({});
}

qint64 SessionRecord::stamp()
{
    // One time per turn of the event loop: what arrived together is stamped together.
    if (!m_stampValid) {
        m_stamp = QDateTime::currentMSecsSinceEpoch();
        m_stampValid = true;
        QMetaObject::invokeMethod(
            this, [this] { m_stampValid = false; }, Qt::QueuedConnection);
    }
    return m_stamp;
}

// --- writing -------------------------------------------------------------------------------

void SessionRecord::addCodeRow(QByteArrayView chunk)
{
    if (settlePending())
        sealed();
    if (qint64(m_openRows.size()) == kRowsPerBlock)
        sealRows();
    RowEntry row;
    row.time = stamp();
    row.length = chunk.size();
    m_openRows.push_back(row);
    m_pending.resize(chunk.size());
    if (!chunk.isEmpty())
        std::memcpy(m_pending.data(), chunk.data(), std::size_t(chunk.size()));
    m_pendingOpen = true;
    m_rowBytesTotal += chunk.size();
}

void SessionRecord::appendReceived(Link link, QByteArrayView chunk)
{
    ByteStream& stream = m_streams[at(link)];
    if (m_pendingOpen && chunk.size() == m_pending.size()) {
        RowEntry& row = m_openRows.back();
        row.link = link;
        row.offset = stream.size();
        m_pendingOpen = false;
        releasePending();
    } else if (settlePending()) {
        sealed();
    }
    if (stream.append(chunk, m_tally))
        sealed();
}

void SessionRecord::appendToPane(Link link, QByteArrayView bytes)
{
    if (m_streams[at(link)].append(bytes, m_tally))
        sealed();
}

void SessionRecord::clearPane(Link link)
{
    m_paneStart[at(link)] = m_streams[at(link)].size();
}

bool SessionRecord::settlePending() const
{
    if (!m_pendingOpen)
        return false;
    // No pane took the chunk: it is kept apart.
    ByteStream& stream = m_streams[at(Link::Unknown)];
    RowEntry& row = m_openRows.back();
    row.link = Link::Unknown;
    row.offset = stream.size();
    m_pendingOpen = false;
    const bool sealedOne = stream.append(m_pending, m_tally);
    releasePending();
    return sealedOne;
}

void SessionRecord::releasePending() const
{
    // A serial character's buffer is kept for the next; a large chunk's is not.
    if (m_pending.capacity() > 64 * 1024)
        m_pending = QByteArray();
}

void SessionRecord::sealRows()
{
    if (m_openRows.empty())
        return;
    auto block = std::make_shared<RowBlock>();
    block->firstRow = m_sealedRows;
    block->count = qint64(m_openRows.size());
    block->firstTime = m_openRows.front().time;
    block->linkEnd = m_linkEnd;
    const QByteArray column = encodeRows(m_openRows, block->firstTime, m_linkEnd);
    auto raw = std::make_shared<RawBlock>(column.size());
    std::memcpy(raw->data(), column.constData(), std::size_t(column.size()));
    m_tally->addHeld(column.size());
    m_tally->addBacklog(column.size());
    block->column =
        std::make_shared<SealedBlock>(std::move(raw), column.size(), column.size(), m_tally);
    Compressor::instance().submit(block->column);
    m_rowBlocks.push_back(std::move(block));
    m_sealedRows += qint64(m_openRows.size());
    m_openRows.clear();
    sealed();
}

// --- memory --------------------------------------------------------------------------------

void SessionRecord::sealed()
{
    checkMemory();
    checkBacklog();
}

void SessionRecord::checkMemory()
{
    if (m_memoryTold)
        return;
    const qint64 held = heldBytes();
    if (held > m_memoryLimit) {
        m_memoryTold = true;
        emit memoryShort(held);
    }
}

void SessionRecord::checkBacklog()
{
    // Behind until the backlog is down to half the bound: the compressor wakes the record then,
    // and catching up is told from the event loop.
    if (!m_behind) {
        if (m_tally->takePeak() <= m_backlogBound)
            return;
        m_behind = true;
        emit behindChanged(true);
        if (!m_tally->wakeAtOrBelow(m_backlogBound / 2))
            QMetaObject::invokeMethod(
                this, [this] { checkBacklog(); }, Qt::QueuedConnection);
        return;
    }
    if (!m_tally->wakeAtOrBelow(m_backlogBound / 2)) {
        m_behind = false;
        emit behindChanged(false);
    }
}

qint64 SessionRecord::heldBytes() const
{
    qint64 held = m_tally->held();
    held += qint64(m_openRows.capacity() * sizeof(RowEntry));
    held += qint64(m_rowBlocks.size() * (sizeof(RowBlock) + sizeof(SealedBlock) + 64));
    for (const ByteStream& stream : m_streams)
        held += qint64(stream.sealed().size() * (sizeof(SealedBlock) + 64));
    held += m_pending.capacity();
    for (const auto& [view, bytes] : m_viewMemory)
        held += bytes();
    return held;
}

void SessionRecord::countViewMemory(const void* view, std::function<qint64()> bytes)
{
    uncountViewMemory(view);
    m_viewMemory.emplace_back(view, std::move(bytes));
}

void SessionRecord::uncountViewMemory(const void* view)
{
    std::erase_if(m_viewMemory, [view](const auto& counted) { return counted.first == view; });
}

qint64 SessionRecord::backlogBytes() const
{
    return m_tally->backlog();
}

bool SessionRecord::waitUntilCompressed(int timeoutMs)
{
    return Compressor::instance().waitIdle(timeoutMs);
}

// --- reading -------------------------------------------------------------------------------

qint64 SessionRecord::paneSize(Link link) const
{
    return m_streams[at(link)].size() - m_paneStart[at(link)];
}

void SessionRecord::forEachPaneSpan(Link link, qint64 position, qint64 length,
                                    const std::function<bool(QByteArrayView)>& visit) const
{
    const ByteStream& stream = m_streams[at(link)];
    const qint64 size = paneSize(link);
    position = std::clamp<qint64>(position, 0, size);
    length = std::clamp<qint64>(length, 0, size - position);
    visitStream(
        stream.sealed(), stream.openBytes(), m_paneStart[at(link)] + position, length,
        [this](const std::shared_ptr<const SealedBlock>& block) { return m_cache->load(block); },
        visit);
}

QByteArray SessionRecord::paneBytes(Link link, qint64 position, qint64 length) const
{
    QByteArray out;
    forEachPaneSpan(link, position, length, [&out](QByteArrayView span) {
        out.append(span);
        return true;
    });
    return out;
}

unsigned char SessionRecord::paneByte(Link link, qint64 position) const
{
    unsigned char byte = 0;
    forEachPaneSpan(link, position, 1, [&byte](QByteArrayView span) {
        byte = static_cast<unsigned char>(span[0]);
        return false;
    });
    return byte;
}

qint64 SessionRecord::codeRowCount() const
{
    return m_sealedRows + qint64(m_openRows.size());
}

RowEntry SessionRecord::rowAt(qint64 row) const
{
    if (row >= m_sealedRows)
        return m_openRows[std::size_t(row - m_sealedRows)];
    const auto after = std::upper_bound(
        m_rowBlocks.begin(), m_rowBlocks.end(), row,
        [](qint64 r, const std::shared_ptr<const RowBlock>& block) { return r < block->firstRow; });
    const auto& block = *(after - 1);
    return m_cache->rows(block)[std::size_t(row - block->firstRow)];
}

const std::vector<RowEntry>& SessionRecord::rowsOfBlock(std::size_t block) const
{
    return block < m_rowBlocks.size() ? m_cache->rows(m_rowBlocks[block]) : m_openRows;
}

qint64 SessionRecord::codeRowPanePosition(qint64 row) const
{
    return rowAt(row).offset - m_paneStart[at(rowAt(row).link)];
}

qint64 SessionRecord::receivedRowFrom(Link link, qint64 position) const
{
    const std::size_t s = at(link);
    const qint64 target = m_paneStart[s] + position;
    // Each block knows where the link's stream stood before it, in order: the row sought lies
    // in the last block that began at or before the target, or later (past empty rows).
    const auto next = std::upper_bound(m_rowBlocks.begin(), m_rowBlocks.end(), target,
                                       [s](qint64 t, const std::shared_ptr<const RowBlock>& block) {
                                           return t < block->linkEnd[s];
                                       });
    std::size_t block =
        next == m_rowBlocks.begin() ? 0 : std::size_t(next - m_rowBlocks.begin()) - 1;
    const qint64 newest = codeRowCount() - (m_pendingOpen ? 1 : 0);
    for (; block <= m_rowBlocks.size(); ++block) {
        const std::vector<RowEntry>& rows = rowsOfBlock(block);
        const qint64 first =
            block < m_rowBlocks.size() ? m_rowBlocks[block]->firstRow : m_sealedRows;
        const std::size_t count =
            std::size_t(std::min<qint64>(qint64(rows.size()), newest - first));
        // The link's rows lie in order in its stream: a binary search whose probes step to
        // the link's next row.
        const auto nextOfLink = [&](std::size_t i) {
            while (i < count && (rows[i].link != link || rows[i].length == 0))
                ++i;
            return i;
        };
        std::size_t low = 0;
        std::size_t high = count;
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            const std::size_t i = nextOfLink(mid);
            if (i < count && rows[i].offset + rows[i].length <= target)
                low = i + 1;
            else
                high = mid;
        }
        const std::size_t found = nextOfLink(low);
        if (found < count)
            return first + qint64(found);
    }
    return -1;
}

qint64 SessionRecord::previousRowOfLink(qint64 row) const
{
    const Link link = rowAt(row).link;
    const std::size_t s = at(link);
    const auto blockOf = [this](qint64 r) {
        return std::size_t(std::upper_bound(m_rowBlocks.begin(), m_rowBlocks.end(), r,
                                            [](qint64 v, const std::shared_ptr<const RowBlock>& b) {
                                                return v < b->firstRow;
                                            }) -
                           m_rowBlocks.begin()) -
               (r < m_sealedRows ? 1 : 0);
    };
    std::size_t block = row < m_sealedRows ? blockOf(row) : m_rowBlocks.size();
    qint64 end = row; // rows before this one, in the block
    for (;;) {
        const std::vector<RowEntry>& rows = rowsOfBlock(block);
        const qint64 first =
            block < m_rowBlocks.size() ? m_rowBlocks[block]->firstRow : m_sealedRows;
        for (qint64 r = end - 1; r >= first; --r) {
            const RowEntry& entry = rows[std::size_t(r - first)];
            if (entry.link == link && entry.length > 0)
                return r;
        }
        if (block == 0 || first == 0)
            return -1;
        // Blocks in which the link's stream did not move hold none of its rows: the nearest
        // earlier block after which it stood lower does.
        const qint64 before =
            block < m_rowBlocks.size() ? m_rowBlocks[block]->linkEnd[s] : m_linkEnd[s];
        const auto lower = std::lower_bound(
            m_rowBlocks.begin(), m_rowBlocks.begin() + qint64(std::min(block, m_rowBlocks.size())),
            before,
            [s](const std::shared_ptr<const RowBlock>& b, qint64 v) { return b->linkEnd[s] < v; });
        if (lower == m_rowBlocks.begin())
            return -1;
        block = std::size_t(lower - m_rowBlocks.begin()) - 1;
        end = block + 1 < m_rowBlocks.size() ? m_rowBlocks[block + 1]->firstRow : m_sealedRows;
    }
}

qint64 SessionRecord::codeRowLength(qint64 row) const
{
    return rowAt(row).length;
}

Link SessionRecord::codeRowLink(qint64 row) const
{
    return rowAt(row).link;
}

qint64 SessionRecord::codeRowTime(qint64 row) const
{
    return rowAt(row).time;
}

QByteArray SessionRecord::codeRowBytes(qint64 row, qint64 maxBytes) const
{
    const RowEntry entry = rowAt(row);
    const qint64 length = maxBytes >= 0 ? std::min(entry.length, maxBytes) : entry.length;
    if (m_pendingOpen && row == codeRowCount() - 1)
        return m_pending.left(length);
    const ByteStream& stream = m_streams[at(entry.link)];
    QByteArray out;
    out.reserve(length);
    visitStream(
        stream.sealed(), stream.openBytes(), entry.offset, length,
        [this](const std::shared_ptr<const SealedBlock>& block) { return m_cache->load(block); },
        [&out](QByteArrayView span) {
            out.append(span);
            return true;
        });
    return out;
}
