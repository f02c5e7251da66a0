#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>

// What a peer sends: an endless byte stream, readable from any offset, so that nobody has to
// keep what was sent in order to check what arrived.
class PeerStream {
public:
    // The same for the same seed. It mixes every byte value: random runs, ascending runs
    // through all 256 codes, text lines ended by CR LF, lone CRs and LFs, and runs of NUL and
    // 0xFF, in a pattern of about 1 MB whose every pass differs from the last, so that bytes
    // lost or repeated a whole pattern apart still show.
    explicit PeerStream(std::uint32_t seed);
    // The given bytes over and over, exactly: a fuzzer's input, a benchmark's lines of text.
    static PeerStream repeating(QByteArray pattern);

    // The bytes at [offset, offset + size).
    void fill(qint64 offset, char* out, qint64 size) const;
    QByteArray bytes(qint64 offset, qint64 size) const;

private:
    PeerStream() = default;

    std::shared_ptr<const QByteArray> m_pattern;
    qint64 m_shift = 0;
    bool m_passesDiffer = false;
};
