#pragma once

#include <QtGlobal>

class PeerStream;
class ServerFrm;
class SessionRecord;

struct SustainedFloodRun {
    double megabytesPerSecond = 0;
    // The most the session record held uncompressed, waiting for its compressor.
    double peakBacklogMegabytes = 0;
    // Bytes sent that are not in the record, or not as sent.
    qint64 lost = 0;
    // The flood's first row in the record.
    qint64 firstRow = 0;
    bool ok = false;
};

// Whether every byte is read back and compared at once, or by the caller later (with
// bytesNotAsSent) once a measure that the reading would slow has ended.
enum class FloodCheck { Now, Later };

// A peer floods the window's server endpoint (TCP, chosen and listening as the caller left it)
// with total bytes of stream, as fast as the window takes them; timed until the last byte is
// in the record. Then every byte is read back from the record and compared with what was sent.
SustainedFloodRun sustainedTcpFlood(ServerFrm& w, qint64 total, const PeerStream& stream,
                                    FloodCheck check = FloodCheck::Now);

// What of the server's rows from fromRow on differs from the stream's first total bytes.
qint64 bytesNotAsSent(const SessionRecord& record, qint64 fromRow, qint64 total,
                      const PeerStream& stream);
