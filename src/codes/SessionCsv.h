#pragma once

#include "record/SessionSave.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

// The whole session as CSV (docs/SESSION-CSV.md): UTF-8 with a byte-order mark so that
// spreadsheets take it as UTF-8, a header row, then one row per received chunk in arrival
// order: arrival time, link, byte count, the codes as the list shows them in decimal and in
// hexadecimal, and the text with every byte recoverable. Fields as RFC 4180 has them; rows
// end in CR LF.

// The header row, after the byte-order mark.
QByteArray sessionCsvHeader();

// Writes rows one after another, as a save or a capture goes through the session: the one
// place a row's CSV is made. The CSV is made in pieces of about kPieceBytes, each handed to
// write as soon as it is full, a long chunk's row across several pieces: what is made stays in
// the processor's cache until it is written, however long the chunk (a capture writes about
// eight bytes of CSV per byte received). Not thread-safe; one per writer.
//
// With several pieces, they are made in turn: the bytes handed to write stay as they are until
// pieces - 1 more have been handed over, so that write may hand them to another thread and
// return at once.
class SessionCsvRows {
public:
    static constexpr qsizetype kPieceBytes = qsizetype(128) << 10;
    // Returns false if the bytes could not be written: the rows then stop.
    using Write = std::function<bool(QByteArrayView)>;

    explicit SessionCsvRows(Write write, int pieces = 1);
    ~SessionCsvRows();
    // Appends the row, ending in CR LF. Returns false once a write failed.
    bool append(const CodeRowEntry& row);
    // Writes what waits in the piece being made.
    bool flush();

private:
    struct Times;
    // Room for at least this many more bytes in the piece, writing it first if need be.
    bool reserve(qsizetype bytes);
    // Writes a column's characters for n bytes at out; returns where they end.
    using Format = char* (*)(char* out, const unsigned char* in, qsizetype n);
    bool column(QByteArrayView bytes, Format format);

    Write m_write;
    std::unique_ptr<Times> m_times;
    std::array<QByteArray, 4> m_linkNames;
    std::vector<std::unique_ptr<char[]>> m_pieces;
    // The piece being made.
    char* m_piece = nullptr;
    std::size_t m_next = 0;
    qsizetype m_used = 0;
};

// The CSV writer of a session; units of work are rows.
SaveContent sessionCsvContent(SessionSource session);
