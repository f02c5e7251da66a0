#include "record/RecordSearch.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace RecordSearch {

namespace {

// Finds every start of a needle in a stream handed over in pieces, also a start in one piece
// whose match ends in a later one: the last needle - 1 bytes of what came are carried over.
class StreamMatcher {
public:
    explicit StreamMatcher(QByteArrayView needle)
        : m_needle(needle.toByteArray())
        , m_searcher(m_needle.cbegin(), m_needle.cend())
    {
    }

    StreamMatcher(const StreamMatcher&) = delete;
    StreamMatcher& operator=(const StreamMatcher&) = delete;

    qint64 position() const { return m_position; }

    // onMatch(stream position of a start) returns false to stop; returns false if stopped.
    template <typename OnMatch> bool feed(QByteArrayView piece, OnMatch&& onMatch)
    {
        const qint64 keep = m_needle.size() - 1;
        if (!m_carry.isEmpty()) {
            // Only a match starting in the carried bytes fits here: one starting in the piece
            // would need needle bytes, and the window ends one short.
            QByteArray window = m_carry;
            window.append(piece.first(std::min<qint64>(piece.size(), keep)));
            const qint64 origin = m_position - m_carry.size();
            if (!each(window, origin, onMatch))
                return false;
        }
        if (!each(piece, m_position, onMatch))
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
    template <typename OnMatch> bool each(QByteArrayView bytes, qint64 origin, OnMatch& onMatch)
    {
        const char* const end = bytes.data() + bytes.size();
        for (const char* at = bytes.data(); at < end;) {
            const char* found = m_searcher(at, end).first;
            if (found == end)
                return true;
            if (!onMatch(origin + (found - bytes.data())))
                return false;
            at = found + 1;
        }
        return true;
    }

    QByteArray m_needle;
    std::boyer_moore_horspool_searcher<QByteArray::const_iterator> m_searcher;
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

// The pane's bytes read (decompressed) on a thread of its own, a few blocks ahead of the
// search that takes them: the two halves of the work on two cores.
class ReadAhead {
public:
    ReadAhead(const RecordSnapshot& snapshot, Link link)
        : m_thread([this, snapshot, link] {
            snapshot.forEachPaneSpan(link, [this](QByteArrayView span) {
                std::unique_lock lock(m_mutex);
                m_room.wait(lock, [this] { return m_stopped || m_ready.size() < kAhead; });
                if (m_stopped)
                    return false;
                m_ready.push_back(span.toByteArray());
                m_filled.notify_one();
                return true;
            });
            const std::lock_guard lock(m_mutex);
            m_ended = true;
            m_filled.notify_one();
        })
    {
    }
    ~ReadAhead()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
            m_room.notify_one();
        }
        m_thread.join();
    }

    // The next piece, or false at the end.
    bool next(QByteArray& piece)
    {
        std::unique_lock lock(m_mutex);
        m_filled.wait(lock, [this] { return m_ended || !m_ready.empty(); });
        if (m_ready.empty())
            return false;
        piece = std::move(m_ready.front());
        m_ready.pop_front();
        m_room.notify_one();
        return true;
    }

private:
    static constexpr std::size_t kAhead = 4;
    std::mutex m_mutex;
    std::condition_variable m_room;
    std::condition_variable m_filled;
    std::deque<QByteArray> m_ready;
    bool m_stopped = false;
    bool m_ended = false;
    std::thread m_thread; // last: it starts once the rest is made
};

} // namespace

PaneMatch findInPane(const RecordSnapshot& snapshot, Link link, QByteArrayView needle, qint64 from,
                     Direction direction, const std::atomic<bool>& cancelled)
{
    PaneMatch match;
    if (needle.isEmpty())
        return match;
    StreamMatcher matcher(needle);
    Choice<qint64> choice{direction, from};
    // Matches come in order: a next one is the first at or past from, a previous one the last
    // before it unless there is none.
    ReadAhead reader(snapshot, link);
    QByteArray piece;
    while (reader.next(piece) && !cancelled.load(std::memory_order_relaxed)) {
        const bool goOn = matcher.feed(piece, [&](qint64 at) {
            choice.offer(at);
            if (direction == Direction::Next)
                return choice.wrapped;
            return choice.wrapped || at < from;
        });
        if (!goOn)
            break;
    }
    if (cancelled.load())
        return match;
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
