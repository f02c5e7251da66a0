#pragma once

#include "record/Link.h"
#include "record/RecordSnapshot.h"
#include "record/SessionSave.h"

#include <QHash>
#include <QString>
#include <QtGlobal>

class SessionRecord;
class TextRows;

// The times a log pane shows left of its lines ("Mostrar hora", "Hora relativa"): a line's
// time is the arrival of its first received byte, read from the session record's code rows
// (never from the text). Lines the window wrote itself (connection lines, what was sent) hold
// no received byte and show no time: the record stamps only what arrived.
//
// Only lines asked for are looked up (the painted ones, a copied selection's), each a search
// of the record's rows by pane position; a line whose time is known is remembered, as it never
// changes. What it deliberately does not do: keep anything per byte or per row of the pane.
class PaneTimes {
public:
    enum class Mode { Hidden, Clock, Relative };

    // Reads the pane of one link in a record from now on; forgets what it knew.
    void attach(const SessionRecord& record, Link link);

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    bool shown() const { return m_mode != Mode::Hidden; }
    // The pane was emptied or shows another record: nothing remembered holds.
    void forget();

    // The time shown for the line beginning at the pane's position lineStart
    // ("14:03:07.215", or "+0.103 s" since the line before that had one), or "" for a line
    // with no received byte.
    QString label(qint64 lineStart) const;
    // The label left of a row: its line's, on the row that begins the line; "" on the rows
    // a long line wraps onto.
    QString rowLabel(const TextRows& rows, qint64 row) const;
    // The pane's text [from, to) as copied with times shown: each line's label and a tab
    // before it (a line begun before `from` gets its own label too).
    QString timedText(qint64 from, qint64 to) const;
    // A time as shown: "14:03:07.215" (local time), or a span since another "+0.103 s".
    static QString clockText(qint64 msecsSinceEpoch);
    static QString sinceText(qint64 msecs);
    // The widest label, for the margin's width.
    static QString widestLabel(Mode mode);

private:
    // The code row holding the line's first received byte, or -1.
    qint64 rowOfLine(qint64 lineStart) const;

    const SessionRecord* m_record = nullptr;
    Link m_link = Link::Server;
    Mode m_mode = Mode::Hidden;
    // Line start -> its row (or -1 for a line ended without any received byte).
    mutable QHash<qint64, qint64> m_known;
};

// A pane saved with its times shown: each line with its label and a tab before it, as copied,
// read in one pass over the pane's bytes and its link's rows (on the saving thread). Units are
// the pane's bytes.
SaveContent timedPaneContent(PaneSource pane, RecordSnapshot::LinkRows rows, PaneTimes::Mode mode);
