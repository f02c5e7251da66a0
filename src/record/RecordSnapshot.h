#pragma once

#include "record/CodeRowEntry.h"
#include "record/Link.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <functional>
#include <memory>

// A frozen view of the session record at the time it was taken (SessionRecord::snapshot):
// cheap to take and to copy (it shares the sealed blocks and copies only the open ones), and
// readable on any thread while the record keeps growing. Saving reads it.
class RecordSnapshot {
public:
    RecordSnapshot();
    ~RecordSnapshot();
    RecordSnapshot(const RecordSnapshot&);
    RecordSnapshot& operator=(const RecordSnapshot&);

    // The pane's bytes exactly as the pane held them (after its last "Limpiar"), in order, in
    // contiguous pieces; visit returns false to stop. Returns false if stopped.
    qint64 paneSize(Link link) const;
    bool forEachPaneSpan(Link link, const std::function<bool(QByteArrayView)>& visit) const;

    // Every code row in arrival order, from row fromRow on; visit returns false to stop.
    // Returns false if stopped. The bytes are valid during the call only.
    qint64 codeRowCount() const;
    bool forEachCodeRow(const std::function<bool(const CodeRowEntry&)>& visit,
                        qint64 fromRow = 0) const;

    // The first code row of the link whose bytes lie in the pane's [position, position +
    // length) (its time and link; no bytes); an entry without a time if none does (a prefix,
    // the window's own line).
    CodeRowEntry paneRowAt(Link link, qint64 position, qint64 length) const;

private:
    friend class SessionRecord;
    struct Data;
    std::shared_ptr<const Data> m_data;
};
