#pragma once

#include "record/RecordSnapshot.h"
#include "record/SessionSave.h"

// What saving reads, taken from a snapshot of the session record: the snapshot is copied
// into the source, so the source stays valid, and unchanged, however the record grows.
PaneSource paneSource(const RecordSnapshot& snapshot, Link link);
// The code rows from fromRow on (where the code list begins after "Limpiar lista").
SessionSource sessionSource(const RecordSnapshot& snapshot, qint64 fromRow = 0);
