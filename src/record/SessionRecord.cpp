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
