#include "views/LocalEcho.h"

#include "views/LogPane.h"

LocalEcho::LocalEcho(LogPane& pane, QObject* parent)
    : QObject(parent)
    , m_pane(pane)
{
    pane.setSentRanges(&m_ranges);
    connect(&pane, &LogPane::cleared, this, [this] { m_ranges.clear(); });
}

LocalEcho::~LocalEcho()
{
    m_pane.setSentRanges(nullptr);
}

void LocalEcho::sent(QByteArrayView bytes)
{
    if (!m_on || bytes.isEmpty())
        return;
    const qint64 from = m_pane.length();
    m_pane.append(bytes);
    m_ranges.add(from, m_pane.length());
}
