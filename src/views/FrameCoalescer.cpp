#include "views/FrameCoalescer.h"

#include <algorithm>
#include <utility>

FrameCoalescer::FrameCoalescer(std::function<void()> update, QObject* parent)
    : QObject(parent)
    , m_update(std::move(update))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FrameCoalescer::run);
}

void FrameCoalescer::schedule()
{
    m_due = true;
    const qint64 since = m_sinceLastRun.isValid() ? m_sinceLastRun.elapsed() : kFrameMs;
    m_timer.start(int(std::max<qint64>(0, kFrameMs - since)));
}

void FrameCoalescer::run()
{
    m_due = false;
    m_sinceLastRun.start();
    m_update();
}
