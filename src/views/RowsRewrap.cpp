#include "views/RowsRewrap.h"

#include <QMetaObject>

namespace {

// What the window's thread wraps per turn of the event loop while catching up: a few
// milliseconds' work.
constexpr qint64 kSliceBytes = 4 << 20;

} // namespace

RowsRewrap::RowsRewrap(SessionRecord& record, Link pane, TextRows rows, QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_pane(pane)
    , m_rows(std::move(rows))
{
    m_nextSlice.setSingleShot(true);
    m_nextSlice.setInterval(0);
    connect(&m_nextSlice, &QTimer::timeout, this, &RowsRewrap::catchUp);
    m_thread = std::thread([this, snapshot = record.snapshot()] {
        const bool whole = snapshot.forEachPaneSpan(m_pane, [this](QByteArrayView span) {
            if (m_cancelled)
                return false;
            m_rows.append(span);
            m_indexBytes = m_rows.indexBytes();
            return true;
        });
        if (whole)
            QMetaObject::invokeMethod(this, &RowsRewrap::catchUp, Qt::QueuedConnection);
    });
}

RowsRewrap::~RowsRewrap()
{
    m_cancelled = true;
    if (m_thread.joinable())
        m_thread.join();
}

void RowsRewrap::catchUp()
{
    if (m_thread.joinable())
        m_thread.join();
    const qint64 from = m_rows.size();
    const qint64 length = std::min(m_record.paneSize(m_pane) - from, kSliceBytes);
    m_record.forEachPaneSpan(m_pane, from, length, [this](QByteArrayView span) {
        m_rows.append(span);
        return true;
    });
    m_indexBytes = m_rows.indexBytes();
    if (m_rows.size() < m_record.paneSize(m_pane))
        m_nextSlice.start();
    else
        emit ready();
}

TextRows RowsRewrap::takeRows()
{
    return std::move(m_rows);
}
