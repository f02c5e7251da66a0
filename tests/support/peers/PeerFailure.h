#pragma once

#include <QString>

#include <mutex>

// The first thing that went wrong on a peer's thread, kept for the test's thread to read.
class PeerFailure {
public:
    // Only the first reason is kept: what follows is usually its consequence.
    void set(const QString& why);
    // Empty while all is well.
    QString get() const;

private:
    mutable std::mutex m_mutex;
    QString m_failure;
};
