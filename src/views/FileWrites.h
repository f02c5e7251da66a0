#pragma once

#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <memory>

class QFile;
class QFileDevice;

// Writing from a helper thread into whatever the operator named: a regular file, a device, a
// named pipe or a terminal, never waiting where nothing can stop the wait.

// A write into a pipe nobody reads any more, or past the size a file may have, raises a
// signal that would end the program: on the calling thread they are held, and the write fails
// with EPIPE or EFBIG instead, which the operator is told.
void holdWriteSignals();

bool isNamedPipe(const QString& path);

// A device or another special file, opened where it is (a regular file would take its place)
// and without blocking: a pipe nobody reads fails at once (ENXIO) instead of holding the
// thread, and its writes wait in WaitingWrites, where they can be given up.
std::unique_ptr<QFile> openInPlace(const QString& path, int& errorNumber);

// Writes that wait, in poll, while a pipe or a terminal takes no more (a slow reader), until
// they are given up from another thread.
class WaitingWrites {
public:
    WaitingWrites();
    ~WaitingWrites();
    WaitingWrites(const WaitingWrites&) = delete;
    WaitingWrites& operator=(const WaitingWrites&) = delete;

    // From any thread: a write waiting for room stops waiting, and later ones do not wait.
    // Writes that need no wait (a regular file) go on.
    void giveUp();
    // Writes all of bytes. Returns false if the file refused them (errorNumber: why) or if
    // waiting for room was given up (errorNumber ECANCELED).
    bool writeAll(QFileDevice& file, QByteArrayView bytes, int& errorNumber);

private:
    enum class Wait { Writable, HungUp, GivenUp, Failed };
    Wait waitUntilWritable(int descriptor);

    std::atomic<bool> m_givenUp{false};
    // A pipe whose reading end wakes a waiting write when it is given up.
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    // After a hang-up the next write tells why; it may not wait again.
    bool m_hungUp = false;
};
