#pragma once

#include "record/SessionRecord.h"

// What tests read of the session record and set on it beyond what the window does: where a
// code row's bytes lie in its pane, and limits small enough to reach in a test. A friend of
// the record; header-only, so that the fuzz targets use it too.
struct RecordProbe {
    // Where the row's bytes begin in its link's pane, counted from where the pane begins now
    // (negative once "Limpiar" has removed them); -1 for a row no pane showed.
    static qint64 panePosition(const SessionRecord& record, qint64 row)
    {
        const record_detail::RowEntry entry = record.rowAt(row);
        if (entry.link == Link::Unknown)
            return -1;
        return entry.offset - record.m_paneStart[std::size_t(entry.link)];
    }

    // memoryShort is raised once the record holds more than this.
    static void setMemoryLimit(SessionRecord& record, qint64 bytes)
    {
        record.m_memoryLimit = bytes;
    }
    static qint64 memoryLimit(const SessionRecord& record) { return record.m_memoryLimit; }

    // The record is behind past this backlog, and catches up at half of it.
    static void setBacklogBound(SessionRecord& record, qint64 bytes)
    {
        record.m_backlogBound = bytes;
    }
};
