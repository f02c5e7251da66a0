#pragma once

#include <QtGlobal>

class PeerStream;
class ServerFrm;

struct SustainedFloodRun {
    double megabytesPerSecond = 0;
    // The most the session record held uncompressed, waiting for its compressor.
    double peakBacklogMegabytes = 0;
    // Bytes sent that are not in the record, or not as sent.
    qint64 lost = 0;
    bool ok = false;
};

// A peer floods the window's server endpoint (TCP, chosen and listening as the caller left it)
// with total bytes of stream, as fast as the window takes them; timed until the last byte is
// in the record. Then every byte is read back from the record and compared with what was sent.
SustainedFloodRun sustainedTcpFlood(ServerFrm& w, qint64 total, const PeerStream& stream);
