#pragma once

#include "record/SessionSave.h"
#include "views/FileWrites.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <thread>

class OperatorMessages;
class QFileDevice;
class QWidget;

// Writes a save's content to a file on a helper thread, so that the window goes on serving
// the links and the operator meanwhile. Progress and the end are told on the thread that
// started it.
//
// A regular file is written through a temporary file in the same folder, renamed over the
// target only when every byte is written: a failed or cancelled save leaves whatever file was
// there as it was. A device (such as /dev/full), a named pipe or a terminal is written in
// place, never replaced by a file; when it takes no more for a while (a slow reader) the save
// waits for it, and "Cancelar" ends the wait. What it deliberately does not do: retry a failed
// write, append, or keep anything of its own.
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
    // From any thread, also while the save waits for its target to take more. A save that is
    // cancelled leaves a file as it was.
    void cancel();

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
    WaitingWrites m_writes;
    std::thread m_thread;
};

// Why a file operation failed, in the operator's words ("el disco está lleno"). errorNumber is
// the system's error number taken right after the failing call (0 where the system gives
// none); folder is the file's folder.
QString fileFailureReason(const QFileDevice& file, int errorNumber, const QString& folder,
                          bool isPipe);

// The operator's description of a failed save: which file, and why.
QString saveFailureText(const QString& path, const QString& reason);

// Starts a save of content to path with a progress dialog that appears only if the save takes
// more than a moment and whose "Cancelar" stops it. A failure is told through messages with
// the critical icon. The save deletes itself when it ends; the pointer is for watching it.
FileSave* saveWithProgress(QWidget* parent, const QString& path, SaveContent content,
                           OperatorMessages& messages);
