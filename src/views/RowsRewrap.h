#pragma once

#include "record/SessionRecord.h"
#include "views/TextRows.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <optional>
#include <thread>

// Wraps a pane's whole text again (another width, another font) without holding the window:
// what the pane held when it started is wrapped on a thread of its own, from a snapshot of
// the record; what arrived meanwhile is then wrapped on the window's thread, a slice per turn
// of the event loop, until the new rows hold every byte of the pane. Meanwhile the pane shows
// its former rows. Deleting it stops it.
class RowsRewrap : public QObject {
    Q_OBJECT

public:
    // rows: empty, set up with the new width and advances.
    RowsRewrap(SessionRecord& record, Link pane, TextRows rows, QObject* parent = nullptr);
    ~RowsRewrap() override;

    // What the new rows cost in memory so far.
    qint64 indexBytes() const { return m_indexBytes; }
    // Once ready: the new rows.
    TextRows takeRows();

signals:
    void ready();

private:
    void catchUp();

    SessionRecord& m_record;
    const Link m_pane;
    TextRows m_rows;
    std::atomic<qint64> m_indexBytes{0};
    std::atomic<bool> m_cancelled{false};
    std::thread m_thread;
    QTimer m_nextSlice;
};
