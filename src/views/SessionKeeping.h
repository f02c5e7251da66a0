#pragma once

#include <QtGlobal>

#include <vector>

class SessionRecord;

// Which of the received bytes are kept outside the window: saved to a file, or being written
// to one. What is not kept is lost when the window closes, so closing asks about it.
//
// The session's code rows are kept from the first on, up to a mark: a writer that takes rows
// [fromRow, upTo) keeps them once it has finished (a save), or keeps them as it goes (a writer
// while capturing advances its mark as it writes). A writer still at work counts as keeping
// what it has been given. Rows a writer takes after a gap of rows nobody kept count only once
// the gap is kept too, unless the writer said where it starts in bytes as well: whatever is
// unsure counts as not kept. It writes nothing itself.
class SessionKeeping {
public:
    // The first `rows` code rows, holding `bytes` received bytes.
    struct Mark {
        qint64 rows = 0;
        qint64 bytes = 0;
    };
    // What closing now would lose: its bytes and rows, and when the first of them arrived
    // (milliseconds since the epoch; 0 when nothing is lost).
    struct Unkept {
        qint64 bytes = 0;
        qint64 rows = 0;
        qint64 sinceMsecs = 0;
    };

    explicit SessionKeeping(const SessionRecord& record);

    // The record as it stands: what a writer that takes it now takes.
    Mark now() const;

    // A writer took rows [fromRow, upTo.rows) and works on them; its number. Given the mark
    // it starts from (rows and bytes), the rows before it that no writer keeps are counted
    // exactly; given only a row, they make everything after them count as not kept.
    int startWriting(qint64 fromRow, Mark upTo);
    int startWriting(Mark from, Mark upTo);
    // A writer while capturing has written up to here.
    void advance(int writer, Mark upTo);
    // The writer ended: what it took is kept if it finished, forgotten if it failed or was
    // cancelled.
    void finish(int writer, bool kept);

    Unkept unkept() const;

private:
    struct Writer {
        int id;
        qint64 fromRow;
        Mark upTo;
        bool done;
        // Bytes before fromRow, -1 if not known.
        qint64 fromBytes = -1;
    };
    // How far the rows from the first (or from `from`) on are kept, counting writers at work
    // or not.
    Mark reach(bool countWorking, Mark from) const;

    const SessionRecord& m_record;
    std::vector<Writer> m_writers;
    int m_nextId = 1;
};
