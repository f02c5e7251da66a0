#pragma once

#include "record/SessionSave.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The whole session as CSV (docs/SESSION-CSV.md): UTF-8 with a byte-order mark so that
// spreadsheets take it as UTF-8, a header row, then one row per received chunk in arrival
// order: arrival time, link, byte count, the codes as the list shows them in decimal and in
// hexadecimal, and the text with every byte recoverable. Fields as RFC 4180 has them; rows
// end in CR LF.

// The CSV writer of a session; units of work are rows.
SaveContent sessionCsvContent(SessionSource session);
