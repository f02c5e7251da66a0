#include "record/RecordSearch.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

namespace RecordSearch {

namespace {

// Finds a needle's first start in some bytes. glibc's memmem is several times quicker than a
// Boyer-Moore-Horspool loop on log text, where a search spends its time once blocks are
// decompressed on every core.
class NeedleFinder {
public:
    explicit NeedleFinder(QByteArrayView needle)
        : m_needle(needle.toByteArray())
#if !defined(__GLIBC__) || defined(QUORVANE_PORTABLE)
        , m_searcher(m_needle.cbegin(), m_needle.cend())
#endif
    {
    }
    NeedleFinder(const NeedleFinder&) = delete;
    NeedleFinder& operator=(const NeedleFinder&) = delete;

    qsizetype size() const
    {
        return m_needle.size();
    }

    // The first start in [at, end), or end.
    const char* operator()(const char* at, const char* end) const
    {
#if defined(__GLIBC__) && !defined(QUORVANE_PORTABLE)
        const void* found =
            memmem(at, std::size_t(end - at), m_needle.constData(), std::size_t(m_needle.size()));
        return found ? static_cast<const char*>(found) : end;
#else
        return m_searcher(at, end).first;
#endif
    }

    // Calls onMatch(position) for each start in bytes, which begin at origin, until it
    // returns false; returns false if stopped.
    template <typename OnMatch>
    bool each(QByteArrayView bytes, qint64 origin, OnMatch& onMatch) const
    {
        const char* const end = bytes.data() + bytes.size();
        for (const char* at = bytes.data(); at < end;) {
            const char* found = (*this)(at, end);
            if (found == end)
                return true;
            if (!onMatch(origin + (found - bytes.data())))
                return false;
            at = found + 1;
        }
        return true;
    }

private:
    QByteArray m_needle;
#if !defined(__GLIBC__) || defined(QUORVANE_PORTABLE)
    std::boyer_moore_horspool_searcher<QByteArray::const_iterator> m_searcher;
#endif
};

// Finds every start of a needle in a stream handed over in pieces, also a start in one piece
// whose match ends in a later one: the last needle - 1 bytes of what came are carried over.
class StreamMatcher {
public:
    explicit StreamMatcher(QByteArrayView needle)
        : m_finder(needle)
    {
    }

    StreamMatcher(const StreamMatcher&) = delete;
    StreamMatcher& operator=(const StreamMatcher&) = delete;

    qint64 position() const { return m_position; }

    // onMatch(stream position of a start) returns false to stop; returns false if stopped.
    template <typename OnMatch> bool feed(QByteArrayView piece, OnMatch&& onMatch)
    {
        const qint64 keep = m_finder.size() - 1;
        if (!m_carry.isEmpty()) {
            // Only a match starting in the carried bytes fits here: one starting in the piece
            // would need needle bytes, and the window ends one short.
            QByteArray window = m_carry;
            window.append(piece.first(std::min<qint64>(piece.size(), keep)));
            const qint64 origin = m_position - m_carry.size();
            if (!m_finder.each(window, origin, onMatch))
                return false;
        }
        if (!m_finder.each(piece, m_position, onMatch))
            return false;
        m_position += piece.size();
        if (keep > 0) {
            if (piece.size() >= keep) {
                m_carry = piece.last(keep).toByteArray();
            } else {
                m_carry.append(piece);
                m_carry.remove(0, std::max<qint64>(0, m_carry.size() - keep));
            }
        }
        return true;
    }

private:
    NeedleFinder m_finder;
    QByteArray m_carry;
    qint64 m_position = 0;
};

// Chooses among matches as they are met, in any order: the nearest after from, or before it,
// and the first or the last of all for wrapping round.
template <typename Place> struct Choice {
    Direction direction;
    Place from;
    bool found = false;
    bool wrapped = true;
    Place best{};

    // Returns whether place is the one chosen so far.
    bool offer(const Place& place)
    {
        const bool beyond = direction == Direction::Next ? !(place < from) : place < from;
        if (beyond && wrapped) {
            found = false;
            wrapped = false;
        }
        if (beyond != !wrapped)
            return false;
        const bool better = !found || (direction == Direction::Next ? place < best : best < place);
        if (better) {
            best = place;
            found = true;
        }
        return better;
    }
};

// What reading one piece of a pane gave: its own best match, and its first and last
// needle - 1 bytes (the whole piece when that is all it has), where matches running from one
// piece into the next are looked for once the pieces are read.
struct PieceFound {
    explicit PieceFound(Choice<qint64> none)
        : choice(none)
    {
    }
    bool read = false;
    bool whole = false;
    qint64 position = 0;
    qint64 size = 0;
    QByteArray head;
    QByteArray tail;
    Choice<qint64> choice;
};

} // namespace

PaneMatch findInPane(const RecordSnapshot& snapshot, Link link, QByteArrayView needle, qint64 from,
                     Direction direction, const std::atomic<bool>& cancelled)
{
    PaneMatch match;
    if (needle.isEmpty())
        return match;
    const NeedleFinder finder(needle);
    const qint64 edge = needle.size() - 1;
    const bool next = direction == Direction::Next;
    const RecordSnapshot::PaneReader layout(snapshot, link);
    const qint64 count = layout.pieceCount();
    const qint64 home = layout.pieceAt(from);
    // Pieces are read best first: for Next from the one holding from to the end, then round
    // from the start; for Previous back from it, then round from the end, except that the
    // piece after it comes second (a match before from may run on into it).
    const auto pieceOfRank = [&](qint64 rank) {
        if (next)
            return (home + rank) % count;
        if (rank == 1)
            return (home + 1) % count;
        return (home - std::max<qint64>(0, rank - 1) + count) % count;
    };
    std::vector<PieceFound> found(std::size_t(count), PieceFound(Choice<qint64>{direction, from}));
    std::atomic<qint64> nextRank{0};
    // A match in the piece of some rank beats every match in later ranks, but one that starts
    // in a piece may end in its neighbour: reading stops one rank further on.
    std::atomic<qint64> stopRank{count};
    const auto work = [&] {
        RecordSnapshot::PaneReader reader(snapshot, link);
        for (;;) {
            const qint64 rank = nextRank.fetch_add(1);
            if (rank >= stopRank.load() || cancelled.load(std::memory_order_relaxed))
                return;
            const qint64 piece = pieceOfRank(rank);
            const QByteArrayView bytes = reader.read(piece);
            PieceFound& here = found[std::size_t(piece)];
            here.position = reader.piecePosition(piece);
            here.size = bytes.size();
            here.whole = bytes.size() <= 2 * edge;
            here.head = (here.whole ? bytes : bytes.first(edge)).toByteArray();
            if (!here.whole)
                here.tail = bytes.last(edge).toByteArray();
            auto offer = [&here, next](qint64 at) {
                here.choice.offer(at);
                // Matches come in order: the first one at or past from is the next.
                return !next || here.choice.wrapped;
            };
            finder.each(bytes, here.position, offer);
            here.read = true;
            // The piece holding from counts only with a match on the right side of it, the
            // piece after it (second for Previous) holds only matches past from.
            const bool decides = rank == 0 ? !here.choice.wrapped && here.choice.found
                                           : here.choice.found && (next || rank != 1);
            if (decides) {
                qint64 bound = stopRank.load();
                while (rank + 2 < bound && !stopRank.compare_exchange_weak(bound, rank + 2)) {
                }
            }
        }
    };
    // The search already runs on a thread of its own; it takes as many more as there are
    // cores, as decompressing is most of the work.
    const qint64 cores = std::clamp<qint64>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<std::thread> helpers;
    {
        // Joined however this thread's share ends.
        struct Joined {
            std::vector<std::thread>& threads;
            ~Joined()
            {
                for (std::thread& thread : threads)
                    thread.join();
            }
        } joined{helpers};
        for (qint64 i = 1; i < std::min(cores, count); ++i) {
            try {
                helpers.emplace_back(work);
            } catch (const std::system_error&) {
                break; // no thread to be had: fewer do the work
            }
        }
        work();
    }
    if (cancelled.load())
        return match;

    Choice<qint64> choice{direction, from};
    QByteArray window;
    qint64 windowStart = 0;
    const auto searchWindow = [&] {
        auto offer = [&choice](qint64 at) {
            choice.offer(at);
            return true;
        };
        finder.each(window, windowStart, offer);
        window.clear();
    };
    for (const PieceFound& piece : found) {
        if (!piece.read) {
            searchWindow();
            continue;
        }
        if (piece.choice.found)
            choice.offer(piece.choice.best);
        if (window.isEmpty())
            windowStart = piece.position;
        window.append(piece.head);
        if (!piece.whole) {
            searchWindow();
            windowStart = piece.position + piece.size - piece.tail.size();
            window = piece.tail;
        }
    }
    searchWindow();
    if (!choice.found)
        return match;
    match.position = choice.best;
    match.row = snapshot.paneRowAt(link, match.position, needle.size());
    return match;
}

RowsMatch findInRows(const RecordSnapshot& snapshot, qint64 firstRow, QByteArrayView needle,
                     RowPlace from, Direction direction, const std::atomic<bool>& cancelled)
{
    RowsMatch match;
    if (needle.isEmpty())
        return match;
    // Per link: its stream's matcher and its recent rows, as far back as a match may start.
    struct Recent {
        qint64 start;
        qint64 row;
        qint64 length;
        qint64 time;
    };
    struct LinkState {
        StreamMatcher matcher;
        std::deque<Recent> recent;
    };
    std::array<LinkState, 4> links{
        LinkState{StreamMatcher(needle), {}}, LinkState{StreamMatcher(needle), {}},
        LinkState{StreamMatcher(needle), {}}, LinkState{StreamMatcher(needle), {}}};
    const qint64 keep = needle.size() - 1;
    Choice<RowPlace> choice{direction, from};
    qint64 row = firstRow;
    snapshot.forEachCodeRow(
        [&](const CodeRowEntry& entry) {
            if (cancelled.load(std::memory_order_relaxed))
                return false;
            LinkState& state = links[std::size_t(entry.link)];
            state.recent.push_back(
                {state.matcher.position(), row, entry.bytes.size(), entry.msecsSinceEpoch});
            state.matcher.feed(entry.bytes, [&](qint64 at) {
                auto first =
                    std::find_if(state.recent.begin(), state.recent.end(),
                                 [at](const Recent& r) { return r.start + r.length > at; });
                if (!choice.offer(RowPlace{first->row, at - first->start}))
                    return true;
                match.rows.clear();
                for (auto it = first; it != state.recent.end() && it->start < at + needle.size();
                     ++it) {
                    if (it->length > 0)
                        match.rows.append(it->row);
                }
                match.msecsSinceEpoch = first->time;
                match.link = entry.link;
                return true;
            });
            const qint64 reach = state.matcher.position() - keep;
            while (state.recent.size() > 1 &&
                   state.recent.front().start + state.recent.front().length <= reach)
                state.recent.pop_front();
            ++row;
            // Done once no match still to come can start before the one chosen.
            if (!choice.found || choice.wrapped)
                return true;
            const qint64 bound = direction == Direction::Next ? choice.best.row : from.row;
            return std::any_of(links.begin(), links.end(), [&](const LinkState& l) {
                return !l.recent.empty() && l.recent.front().row <= bound &&
                       l.recent.front().start + l.recent.front().length >
                           l.matcher.position() - keep;
            });
        },
        firstRow);
    if (cancelled.load() || !choice.found)
        return RowsMatch{};
    match.found = true;
    match.start = choice.best;
    return match;
}

} // namespace RecordSearch
