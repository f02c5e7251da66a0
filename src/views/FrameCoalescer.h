#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Runs an update at most once per frame: the first request after a quiet spell runs at the
// next turn of the event loop, later ones wait until a frame (16 ms) has passed since the last
// run. However many requests come in between, the update runs once. Views use it so that a
// flood of appends costs them one repaint per frame instead of one per append.
class FrameCoalescer : public QObject {
    Q_OBJECT

public:
    static constexpr int kFrameMs = 16;

    FrameCoalescer(std::function<void()> update, QObject* parent);

    // Called for every append of a flood: a flag when the update is already due.
    void request()
    {
        if (!m_due)
            schedule();
    }
    bool pending() const { return m_due; }

private:
    void schedule();
    void run();

    std::function<void()> m_update;
    QTimer m_timer;
    QElapsedTimer m_sinceLastRun;
    bool m_due = false;
};
