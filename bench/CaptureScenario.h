#pragma once

#include <QtGlobal>

class PeerStream;

struct CaptureRun {
    // Received bytes a second, from the first sent to the last in the file.
    double megabytesPerSecond = 0;
    double stallP99Ms = 0;
    // The CSV written.
    double fileMegabytes = 0;
    bool ok = false;
};

enum class CaptureInto {
    // A named pipe whose reader takes everything at once (as a logger reading the capture
    // would): what the program does, with no storage behind it.
    Pipe,
    // A file in a memory-backed folder.
    MemoryFile,
};

// A window of its own captures to a file ("Grabar en archivo…", from the start) while a peer
// floods its server endpoint over TCP with total bytes of stream.
CaptureRun captureWhileFlooding(qint64 total, const PeerStream& stream, CaptureInto into);
