#pragma once

#include "record/RecordSnapshot.h"
#include "views/FileWrites.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// One file written while capturing, on a thread of its own: the session CSV's header, then the
// code rows it is handed, as they come. The window's thread only hands over a snapshot of the
// record and the rows to take from it (give); formatting and writing happen here, so a slow
// disk never holds the window. What it was given waits as one job: a newer hand-over before
// the writer took the last one replaces it, from the same first row.
//
// The CSV is made in pieces that stay in the processor's cache (SessionCsvRows), each handed as
// it fills to a second thread that writes it, so that making the next piece and the system's
// copy of the last one run at once; what a hand-over gave is all written before the writer
// waits again (nothing stays in a buffer of ours). At least once a second the file is
// synced to the disk and checked to be still where it was opened: a kill loses nothing
// written, a power loss at most the last second, and a file whose folder was removed is told
// instead of written into nowhere. A device, a named pipe or a terminal is written where it is,
// opened without blocking: a pipe nobody reads is told at once, and a reader slower than the
// capture is waited for on the writer's threads, never on the window's. The first failure
// ends the writing and is told (failed); nothing is retried.
class CaptureWriter : public QObject {
    Q_OBJECT

public:
    explicit CaptureWriter(QString path, QObject* parent = nullptr);
    // Writes what it was given, then closes the file; waits for that. A pipe or a terminal
    // that takes no more is not waited for: what it did not take is left unwritten.
    ~CaptureWriter() override;

    const QString& path() const { return m_path; }
    void start();
    // The snapshot's rows from fromRow on are to be written next; grouped: serial rows
    // grouped by line (LineGroupWriter), a line still open held back until it ends.
    void give(RecordSnapshot snapshot, qint64 fromRow, bool grouped = false);
    // Writes what it was given, then closes the file and says finished.
    void finish();

signals:
    // The file holds the record's rows up to here.
    void written(qint64 rows);
    // reason: why it stopped, in Spanish ("el disco está lleno"); began: whether the file had
    // been opened and its header written.
    void failed(const QString& reason, bool began);
    // Everything given is in the file, which is closed.
    void finished();

private:
    struct Job {
        RecordSnapshot snapshot;
        qint64 fromRow = 0;
        bool grouped = false;
    };
    void run();

    QString m_path;
    WaitingWrites m_writes;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Job> m_job;
    bool m_finishing = false;
    std::thread m_thread;
};
