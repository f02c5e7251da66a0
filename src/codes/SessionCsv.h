#pragma once

#include "record/SessionSave.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <memory>

// The whole session as CSV (docs/SESSION-CSV.md): UTF-8 with a byte-order mark so that
// spreadsheets take it as UTF-8, a header row, then one row per received chunk in arrival
// order: arrival time, link, byte count, the codes as the list shows them in decimal and in
// hexadecimal, and the text with every byte recoverable. Fields as RFC 4180 has them; rows
// end in CR LF.

// The header row, after the byte-order mark.
QByteArray sessionCsvHeader();

// Writes rows one after another, as a save or a capture goes through the session: the one
// place a row's CSV is made. Not thread-safe; one per writer.
class SessionCsvRows {
public:
    SessionCsvRows();
    ~SessionCsvRows();
    // Appends the row, ending in CR LF.
    void append(QByteArray& out, const CodeRowEntry& row);

private:
    struct Times;
    std::unique_ptr<Times> m_times;
    std::array<QByteArray, 4> m_linkNames;
};

// The CSV writer of a session; units of work are rows.
SaveContent sessionCsvContent(SessionSource session);
