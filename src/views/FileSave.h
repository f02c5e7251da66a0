#pragma once

#include "record/SessionSave.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

class OperatorMessages;
class QWidget;

// Writes a save's content to a file on a helper thread, so that the window goes on serving
// the links and the operator meanwhile. Progress and the end are told on the thread that
// started it.
//
// A regular file is written through a temporary file in the same folder, renamed over the
// target only when every byte is written: a failed or cancelled save leaves whatever file was
// there as it was. A device (such as /dev/full) is written in place, never replaced by a
// file. What it deliberately does not do: retry, append, or keep anything of its own.
class FileSave : public QObject {
    Q_OBJECT

public:
    enum class Outcome { Saved, Cancelled, Failed };
    Q_ENUM(Outcome)

    FileSave(QString path, SaveContent content, QObject* parent = nullptr);
    // Stops the save, if it still runs, and waits for its thread: nothing is committed.
    ~FileSave() override;

    const QString& path() const { return m_path; }
    void start();
    // From any thread. A save that is cancelled leaves the target as it was.
    void cancel() { m_cancelled = true; }

signals:
    // Thousandths of the work done.
    void progressed(int permille);
    // reason: why it failed, in Spanish, for the operator ("el disco está lleno"); else empty.
    void finished(FileSave::Outcome outcome, const QString& reason);

private:
    class Sink;
    void run();

    QString m_path;
    SaveContent m_content;
    std::atomic<bool> m_cancelled{false};
    std::thread m_thread;
};

// The operator's description of a failed save: which file, and why.
QString saveFailureText(const QString& path, const QString& reason);

// Starts a save of content to path with a progress dialog that appears only if the save takes
// more than a moment and whose "Cancelar" stops it. A failure is told through messages with
// the critical icon. The save deletes itself when it ends; the pointer is for watching it.
FileSave* saveWithProgress(QWidget* parent, const QString& path, SaveContent content,
                           OperatorMessages& messages);
