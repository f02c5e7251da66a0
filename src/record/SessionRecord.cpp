#include "record/SessionRecord.h"

#include <QDateTime>
#include <QMetaObject>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

#include <zstd.h>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif
// Linux only: blocks mapped straight from the system, and the compressor's thread named and
// niced. Elsewhere, and in the portable build, malloc and a plain thread.
#if defined(Q_OS_LINUX) && !defined(QUORVANE_PORTABLE)
#define QUORVANE_RECORD_LINUX
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#endif

namespace record_detail {

namespace {

constexpr std::size_t kBlockBytes = std::size_t(SessionRecord::kBlockSize);
// Large blocks are mapped by themselves, so that what is freed beyond the pool goes back to
// the system instead of staying in the heap.
constexpr bool kMapBlocks = kBlockBytes >= 64 * 1024;

// Buffers for open blocks, kept touched for reuse: a block freed by the compressor becomes
// the next open block, so a flood costs no fresh pages while compression keeps up.
class BufferPool {
public:
    static BufferPool& instance()
    {
        static BufferPool pool;
        return pool;
    }

    char* take()
    {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_free.empty()) {
                char* buffer = m_free.back();
                m_free.pop_back();
                return buffer;
            }
        }
        return allocate();
    }

    void give(char* buffer)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_free.size() < kKept) {
                m_free.push_back(buffer);
                return;
            }
        }
        release(buffer);
    }

private:
    static constexpr std::size_t kKept = 4;

    ~BufferPool()
    {
        for (char* buffer : m_free)
            release(buffer);
    }

    static char* allocate()
    {
#if defined(QUORVANE_RECORD_LINUX)
        if constexpr (kMapBlocks) {
            void* memory = mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory == MAP_FAILED)
                throw std::bad_alloc();
            return static_cast<char*>(memory);
        }
#endif
        void* memory = std::malloc(kBlockBytes);
        if (!memory)
            throw std::bad_alloc();
        return static_cast<char*>(memory);
    }

    static void release(char* buffer)
    {
#if defined(QUORVANE_RECORD_LINUX)
        if constexpr (kMapBlocks) {
            munmap(buffer, kBlockBytes);
            return;
        }
#endif
        std::free(buffer);
    }

    std::mutex m_mutex;
    std::vector<char*> m_free;
};

} // namespace

// A block's bytes before compression: an open block's buffer from the pool, or a row
// column of its own size.
struct Raw {
    explicit Raw(qint64 capacity)
        : data(capacity == SessionRecord::kBlockSize
                   ? BufferPool::instance().take()
                   : static_cast<char*>(std::malloc(std::size_t(std::max<qint64>(capacity, 1)))))
        , pooled(capacity == SessionRecord::kBlockSize)
    {
        if (!data)
            throw std::bad_alloc();
    }
    ~Raw()
    {
        if (pooled)
            BufferPool::instance().give(data);
        else
            std::free(data);
    }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;

    char* const data;
    const bool pooled;
};

// What a sealed block holds when read: its raw buffer, shared, or its decompressed bytes.
struct Contents {
    std::shared_ptr<const Raw> raw;
    QByteArray bytes;
    qint64 size = 0;
    QByteArrayView view() const
    {
        return raw ? QByteArrayView(raw->data, size) : QByteArrayView(bytes);
    }
};

// A full block: its bytes never change again. It starts raw; the compressor replaces them by
// their zstd frame (or by an exact copy, if compressing saves nothing).
struct SealedBlock {
    SealedBlock(std::shared_ptr<const Raw> rawBytes, qint64 bytes, qint64 heldAsRaw,
                std::shared_ptr<std::atomic<qint64>> heldBy)
        : size(bytes)
        , rawHeld(heldAsRaw)
        , raw(std::move(rawBytes))
        , held(std::move(heldBy))
    {
    }

    Contents load() const
    {
        Contents contents;
        contents.size = size;
        bool isStored = false;
        QByteArray frame;
        {
            const std::lock_guard lock(mutex);
            if (raw) {
                contents.raw = raw;
                return contents;
            }
            frame = compressed;
            isStored = stored;
        }
        if (isStored) {
            contents.bytes = frame;
            return contents;
        }
        contents.bytes = QByteArray(size, Qt::Uninitialized);
        const std::size_t got = ZSTD_decompress(contents.bytes.data(), std::size_t(size),
                                                frame.constData(), std::size_t(frame.size()));
        if (ZSTD_isError(got) || qint64(got) != size)
            qFatal("record block damaged in memory");
        return contents;
    }

    void compress(std::vector<char>& scratch, ZSTD_CCtx* context)
    {
        std::shared_ptr<const Raw> bytes;
        {
            const std::lock_guard lock(mutex);
            bytes = raw;
        }
        if (!bytes)
            return;
        scratch.resize(ZSTD_compressBound(std::size_t(size)));
        const std::size_t packed = ZSTD_compressCCtx(context, scratch.data(), scratch.size(),
                                                     bytes->data, std::size_t(size), 1);
        const bool saves = !ZSTD_isError(packed) && qint64(packed) < size;
        QByteArray result =
            saves ? QByteArray(scratch.data(), qsizetype(packed)) : QByteArray(bytes->data, size);
        const qint64 now = result.size();
        {
            const std::lock_guard lock(mutex);
            compressed = std::move(result);
            stored = !saves;
            raw.reset();
        }
        held->fetch_add(now - rawHeld);
    }

    const qint64 size;
    const qint64 rawHeld;
    mutable std::mutex mutex;
    std::shared_ptr<const Raw> raw;
    QByteArray compressed;
    bool stored = false;
    std::shared_ptr<std::atomic<qint64>> held;
};

// One code row: when it came, where its bytes lie (a stream and an offset in it).
struct RowEntry {
    qint64 time = 0;
    qint64 offset = 0;
    qint64 length = 0;
    Link link = Link::Unknown;
};

// A sealed block of rows: what is needed to read its column back, and the column itself.
// Per row the column holds the link, the gap since the end of the link's previous row, the
// length, and the time since the previous row, as varints: a serial row is four bytes before
// compression and next to nothing after.
struct RowBlock {
    qint64 firstRow = 0;
    qint64 count = 0;
    qint64 firstTime = 0;
    std::array<qint64, 4> linkEnd{};
    std::shared_ptr<SealedBlock> column;
};

namespace {

// Writes at out, which has room for the ten bytes of the longest varint.
void putVarint(char*& out, quint64 value)
{
    while (value >= 0x80) {
        *out++ = char(value | 0x80);
        value >>= 7;
    }
    *out++ = char(value);
}

quint64 getVarint(const unsigned char*& p)
{
    quint64 value = 0;
    int shift = 0;
    while (*p & 0x80) {
        value |= quint64(*p++ & 0x7F) << shift;
        shift += 7;
    }
    return value | (quint64(*p++) << shift);
}

quint64 zigzag(qint64 value)
{
    return (quint64(value) << 1) ^ quint64(value >> 63);
}

qint64 unzigzag(quint64 value)
{
    return qint64(value >> 1) ^ -qint64(value & 1);
}

int streamIndex(Link link)
{
    return int(link);
}

std::vector<RowEntry> decodeRows(const RowBlock& block)
{
    std::vector<RowEntry> rows;
    rows.reserve(std::size_t(block.count));
    const Contents contents = block.column->load();
    const auto* p = reinterpret_cast<const unsigned char*>(contents.view().data());
    std::array<qint64, 4> linkEnd = block.linkEnd;
    qint64 time = block.firstTime;
    for (qint64 i = 0; i < block.count; ++i) {
        RowEntry row;
        row.link = Link(*p++ & 3);
        qint64& end = linkEnd[std::size_t(streamIndex(row.link))];
        row.offset = end + qint64(getVarint(p));
        row.length = qint64(getVarint(p));
        time += unzigzag(getVarint(p));
        row.time = time;
        end = row.offset + row.length;
        rows.push_back(row);
    }
    return rows;
}

// Compresses sealed blocks, oldest first, on one thread of its own at a lower priority than
// the window and the links: a flood is received first and compressed as the machine allows.
class Compressor {
public:
    static Compressor& instance()
    {
        static Compressor compressor;
        return compressor;
    }

    void submit(std::shared_ptr<SealedBlock> block)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_thread.joinable()) {
                m_thread = std::thread([this] { run(); });
#if defined(QUORVANE_RECORD_LINUX)
                pthread_setname_np(m_thread.native_handle(), "quorvane-record");
#endif
            }
            m_queue.push_back(std::move(block));
        }
        m_wake.notify_all();
    }

    bool waitIdle(int timeoutMs)
    {
        std::unique_lock lock(m_mutex);
        return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return m_queue.empty() && !m_busy; });
    }

private:
    Compressor() = default;
    ~Compressor()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void run()
    {
#if defined(QUORVANE_RECORD_LINUX)
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
#endif
        ZSTD_CCtx* context = ZSTD_createCCtx();
        std::vector<char> scratch;
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                break;
            std::shared_ptr<SealedBlock> block = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
            lock.unlock();
            block->compress(scratch, context);
            block.reset();
            lock.lock();
            m_busy = false;
            if (m_queue.empty())
                m_idle.notify_all();
        }
        ZSTD_freeCCtx(context);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::shared_ptr<SealedBlock>> m_queue;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

// The few blocks the views read last, decompressed; on the window's thread only.
class BlockCache {
public:
    QByteArrayView load(const std::shared_ptr<const SealedBlock>& block)
    {
        ++m_clock;
        for (Slot& slot : m_slots) {
            if (slot.block == block) {
                slot.used = m_clock;
                return slot.contents.view();
            }
        }
        Slot* slot = nullptr;
        if (m_slots.size() < kSlots) {
            slot = &m_slots.emplace_back();
        } else {
            slot = &*std::min_element(m_slots.begin(), m_slots.end(),
                                      [](const Slot& a, const Slot& b) { return a.used < b.used; });
        }
        slot->block = block;
        slot->contents = block->load();
        slot->used = m_clock;
        return slot->contents.view();
    }

    const std::vector<RowEntry>& rows(const std::shared_ptr<const RowBlock>& block)
    {
        ++m_clock;
        for (RowSlot& slot : m_rowSlots) {
            if (slot.block == block) {
                slot.used = m_clock;
                return slot.rows;
            }
        }
        RowSlot* slot = nullptr;
        if (m_rowSlots.size() < kRowSlots) {
            slot = &m_rowSlots.emplace_back();
        } else {
            slot = &*std::min_element(
                m_rowSlots.begin(), m_rowSlots.end(),
                [](const RowSlot& a, const RowSlot& b) { return a.used < b.used; });
        }
        slot->block = block;
        slot->rows = decodeRows(*block);
        slot->used = m_clock;
        return slot->rows;
    }

private:
    static constexpr std::size_t kSlots = 4;
    static constexpr std::size_t kRowSlots = 2;
    struct Slot {
        std::shared_ptr<const SealedBlock> block;
        Contents contents;
        quint64 used = 0;
    };
    struct RowSlot {
        std::shared_ptr<const RowBlock> block;
        std::vector<RowEntry> rows;
        quint64 used = 0;
    };
    std::vector<Slot> m_slots;
    std::vector<RowSlot> m_rowSlots;
    quint64 m_clock = 0;
};

} // namespace record_detail

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

// Visits [position, position + length) of a stream made of sealed blocks and an open one.
template <typename Load>
bool visitStream(const std::vector<std::shared_ptr<const SealedBlock>>& sealed, QByteArrayView open,
                 qint64 position, qint64 length, Load&& load,
                 const std::function<bool(QByteArrayView)>& visit)
{
    while (length > 0) {
        const std::size_t index = std::size_t(position >> SessionRecord::kBlockShift);
        const qint64 offset = position & (SessionRecord::kBlockSize - 1);
        const QByteArrayView block = index < sealed.size() ? load(sealed[index]) : open;
        const qint64 piece = std::min(length, qint64(block.size()) - offset);
        if (piece <= 0)
            return true; // past what is there
        if (!visit(block.sliced(offset, piece)))
            return false;
        position += piece;
        length -= piece;
    }
    return true;
}

} // namespace

// --- streams -------------------------------------------------------------------------------

struct SessionRecord::Stream {
    std::vector<std::shared_ptr<const SealedBlock>> sealed;
    std::shared_ptr<Raw> open;
    qint64 size = 0;

    QByteArrayView openBytes() const
    {
        return open ? QByteArrayView(open->data, size & (kBlockSize - 1)) : QByteArrayView();
    }

    // Returns whether a block was sealed.
    bool append(QByteArrayView bytes, const std::shared_ptr<std::atomic<qint64>>& held)
    {
        // A serial character, inside the open block: stored as it is.
        if (bytes.size() == 1 && open && ((size + 1) & (kBlockSize - 1)) != 0) {
            open->data[size & (kBlockSize - 1)] = bytes[0];
            ++size;
            return false;
        }
        bool sealedOne = false;
        const char* from = bytes.data();
        qint64 left = bytes.size();
        while (left > 0) {
            if (!open) {
                open = std::make_shared<Raw>(kBlockSize);
                held->fetch_add(kBlockSize);
            }
            const qint64 offset = size & (kBlockSize - 1);
            const qint64 piece = std::min(left, kBlockSize - offset);
            std::memcpy(open->data + offset, from, std::size_t(piece));
            from += piece;
            left -= piece;
            size += piece;
            if ((size & (kBlockSize - 1)) == 0) {
                auto block =
                    std::make_shared<SealedBlock>(std::move(open), kBlockSize, kBlockSize, held);
                open.reset();
                sealed.push_back(block);
                Compressor::instance().submit(std::move(block));
                sealedOne = true;
            }
        }
        return sealedOne;
    }
};

SessionRecord::SessionRecord(QObject* parent)
    : QObject(parent)
    , m_held(std::make_shared<std::atomic<qint64>>(0))
    , m_memoryLimit(defaultMemoryLimit())
    , m_cache(std::make_unique<BlockCache>())
{
    for (auto& stream : m_streams)
        stream = std::make_unique<Stream>();
}

SessionRecord::~SessionRecord() = default;

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

void SessionRecord::addCodeRow(QByteArrayView chunk)
{
    settlePending();
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

void SessionRecord::appendToPane(Pane pane, QByteArrayView bytes)
{
    Stream& stream = *m_streams[std::size_t(streamOf(pane))];
    if (m_pendingOpen && bytes.size() == m_pending.size() &&
        (bytes.isEmpty() ||
         std::memcmp(bytes.data(), m_pending.constData(), std::size_t(bytes.size())) == 0)) {
        RowEntry& row = m_openRows.back();
        row.link = Link(int(pane));
        row.offset = stream.size;
        m_pendingOpen = false;
        releasePending();
    }
    if (stream.append(bytes, m_held))
        checkMemory();
}

void SessionRecord::clearPane(Pane pane)
{
    m_paneStart[std::size_t(pane)] = m_streams[std::size_t(streamOf(pane))]->size;
}

void SessionRecord::settlePending() const
{
    if (!m_pendingOpen)
        return;
    // No pane took the chunk: it is kept apart.
    Stream& stream = *m_streams[kUnattached];
    RowEntry& row = m_openRows.back();
    row.link = Link::Unknown;
    row.offset = stream.size;
    m_pendingOpen = false;
    stream.append(m_pending, m_held);
    releasePending();
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
    // Written through a pointer: a serial flood seals a column every 16,384 characters.
    QByteArray column(qsizetype(m_openRows.size()) * (1 + 3 * 10), Qt::Uninitialized);
    char* out = column.data();
    std::array<qint64, 4> linkEnd = block->linkEnd;
    qint64 time = block->firstTime;
    for (const RowEntry& row : m_openRows) {
        qint64& end = linkEnd[std::size_t(int(row.link))];
        *out++ = char(int(row.link));
        putVarint(out, quint64(row.offset - end));
        putVarint(out, quint64(row.length));
        putVarint(out, zigzag(row.time - time));
        time = row.time;
        end = row.offset + row.length;
    }
    column.truncate(out - column.data());
    m_linkEnd = linkEnd;
    auto raw = std::make_shared<Raw>(column.size());
    std::memcpy(raw->data, column.constData(), std::size_t(column.size()));
    m_held->fetch_add(column.size());
    block->column =
        std::make_shared<SealedBlock>(std::move(raw), column.size(), column.size(), m_held);
    Compressor::instance().submit(block->column);
    m_rowBlocks.push_back(std::move(block));
    m_sealedRows += qint64(m_openRows.size());
    m_openRows.clear();
    checkMemory();
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

qint64 SessionRecord::heldBytes() const
{
    qint64 held = m_held->load();
    held += qint64(m_openRows.capacity() * sizeof(RowEntry));
    held += qint64(m_rowBlocks.size() * (sizeof(RowBlock) + sizeof(SealedBlock) + 64));
    for (const auto& stream : m_streams)
        held += qint64(stream->sealed.size() * (sizeof(SealedBlock) + 64));
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

bool SessionRecord::waitUntilCompressed(int timeoutMs)
{
    return Compressor::instance().waitIdle(timeoutMs);
}

// --- reading -------------------------------------------------------------------------------

qint64 SessionRecord::paneSize(Pane pane) const
{
    return m_streams[std::size_t(streamOf(pane))]->size - m_paneStart[std::size_t(pane)];
}

void SessionRecord::forEachPaneSpan(Pane pane, qint64 position, qint64 length,
                                    const std::function<bool(QByteArrayView)>& visit) const
{
    const Stream& stream = *m_streams[std::size_t(streamOf(pane))];
    const qint64 size = paneSize(pane);
    position = std::clamp<qint64>(position, 0, size);
    length = std::clamp<qint64>(length, 0, size - position);
    visitStream(
        stream.sealed, stream.openBytes(), m_paneStart[std::size_t(pane)] + position, length,
        [this](const std::shared_ptr<const SealedBlock>& block) { return m_cache->load(block); },
        visit);
}

QByteArray SessionRecord::paneBytes(Pane pane, qint64 position, qint64 length) const
{
    QByteArray out;
    forEachPaneSpan(pane, position, length, [&out](QByteArrayView span) {
        out.append(span);
        return true;
    });
    return out;
}

unsigned char SessionRecord::paneByte(Pane pane, qint64 position) const
{
    unsigned char byte = 0;
    forEachPaneSpan(pane, position, 1, [&byte](QByteArrayView span) {
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

qint64 SessionRecord::codeRowPanePosition(qint64 row) const
{
    const RowEntry entry = rowAt(row);
    if (entry.link == Link::Unknown)
        return -1;
    return entry.offset - m_paneStart[std::size_t(entry.link)];
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
    const Stream& stream = *m_streams[std::size_t(streamIndex(entry.link))];
    QByteArray out;
    out.reserve(length);
    visitStream(
        stream.sealed, stream.openBytes(), entry.offset, length,
        [this](const std::shared_ptr<const SealedBlock>& block) { return m_cache->load(block); },
        [&out](QByteArrayView span) {
            out.append(span);
            return true;
        });
    return out;
}

// --- snapshots -----------------------------------------------------------------------------

struct SessionRecord::Snapshot::Data {
    std::array<std::vector<std::shared_ptr<const SealedBlock>>, 4> sealed;
    std::array<QByteArray, 4> open;
    std::array<qint64, 4> size{};
    std::array<qint64, 3> paneStart{};
    std::vector<std::shared_ptr<const RowBlock>> rowBlocks;
    std::vector<RowEntry> openRows;
};

SessionRecord::Snapshot::Snapshot()
    : m_data(std::make_shared<const Data>())
{
}
SessionRecord::Snapshot::~Snapshot() = default;
SessionRecord::Snapshot::Snapshot(const Snapshot&) = default;
SessionRecord::Snapshot& SessionRecord::Snapshot::operator=(const Snapshot&) = default;

SessionRecord::Snapshot SessionRecord::snapshot() const
{
    settlePending();
    auto data = std::make_shared<Snapshot::Data>();
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        data->sealed[i] = m_streams[i]->sealed;
        data->open[i] = m_streams[i]->openBytes().toByteArray();
        data->size[i] = m_streams[i]->size;
    }
    data->paneStart = m_paneStart;
    data->rowBlocks = m_rowBlocks;
    data->openRows = m_openRows;
    Snapshot snapshot;
    snapshot.m_data = std::move(data);
    return snapshot;
}

qint64 SessionRecord::Snapshot::paneSize(Pane pane) const
{
    return m_data->size[std::size_t(streamOf(pane))] - m_data->paneStart[std::size_t(pane)];
}

bool SessionRecord::Snapshot::forEachPaneSpan(
    Pane pane, const std::function<bool(QByteArrayView)>& visit) const
{
    const std::size_t stream = std::size_t(streamOf(pane));
    Contents held;
    return visitStream(
        m_data->sealed[stream], m_data->open[stream], m_data->paneStart[std::size_t(pane)],
        paneSize(pane),
        [&held](const std::shared_ptr<const SealedBlock>& block) {
            held = block->load();
            return held.view();
        },
        visit);
}

qint64 SessionRecord::Snapshot::codeRowCount() const
{
    const auto& blocks = m_data->rowBlocks;
    const qint64 sealedRows = blocks.empty() ? 0 : blocks.back()->firstRow + blocks.back()->count;
    return sealedRows + qint64(m_data->openRows.size());
}

bool SessionRecord::Snapshot::forEachCodeRow(const std::function<bool(const CodeRowEntry&)>& visit,
                                             qint64 fromRow) const
{
    // The last block read of each stream stays loaded: rows of a link lie in order in it.
    std::array<std::pair<std::size_t, Contents>, 4> loaded;
    for (auto& [index, contents] : loaded)
        index = SIZE_MAX;
    QByteArray joined;
    const auto visitRow = [&](const RowEntry& row) {
        const std::size_t stream = std::size_t(streamIndex(row.link));
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
                    loaded[stream].second = block->load();
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
