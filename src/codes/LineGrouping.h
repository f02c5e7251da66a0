#pragma once

#include "record/CodeRowEntry.h"
#include "record/SessionSave.h"

#include <QByteArray>

#include <functional>

// "Agrupar la serie por línea": consecutive serial rows (one character each, as the port
// delivers them) show as one row up to and including a line end (CR, LF or CR LF), or until
// the line pauses for more than kPauseMs. Rows of the other links, and empty rows, stay rows
// of their own. Whether a row joins the one before depends on those two rows alone, so any
// stretch of the record can be grouped without what came before it.
namespace line_grouping {

// Longer than the gap between two characters of one line at any speed a serial device sends a
// line at (at 1200 baud a character takes about 8 ms), shorter than the pause between two
// lines of a meter that sends ten a second.
inline constexpr qint64 kPauseMs = 50;

// What of a row decides whether the next joins it.
struct Facts {
    Link link = Link::Unknown;
    qint64 msecs = 0;
    qint64 length = 0;
    char first = 0;
    char last = 0;
};
Facts factsOf(const CodeRowEntry& row);

// Whether row continues the shown row whose last row is previous.
bool joins(const Facts& previous, const Facts& row);

} // namespace line_grouping

// Rows merged into shown rows as they are added, in order: a shown row is handed on (to
// handOn, which returns false to stop) once a row that does not join it comes, or on flush. A
// merged row has the time and link of its first row and the bytes of all of them.
class LineGroupWriter {
public:
    explicit LineGroupWriter(std::function<bool(const CodeRowEntry&)> handOn);

    bool add(const CodeRowEntry& row);
    // Hands on the shown row held, if any.
    bool flush();
    // Whether a shown row is held, and when its last row arrived.
    bool holding() const { return m_holding; }
    // Whether no row arriving at nowMsecs or later can join the row held.
    bool closedBy(qint64 nowMsecs) const;

private:
    std::function<bool(const CodeRowEntry&)> m_handOn;
    bool m_holding = false;
    CodeRowEntry m_head;
    QByteArray m_bytes;
    line_grouping::Facts m_last;
};

// The rows of a session source as shown when grouped.
SessionSource groupedByLine(SessionSource rows);
