#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Undoes the marking a POSIX terminal puts on received bytes when told to mark input errors
// (PARMRK without ISTRIP): a byte that arrived with a parity or framing error, or a break,
// comes as 0xFF 0x00 X and becomes the replacement character "?"; a real 0xFF comes doubled
// and becomes one 0xFF again; every other byte, 0x00 included, is itself. A sequence split
// between two reads is finished by the next one.
//
// It knows nothing of ports: it is fed what a read returned, in order. It does not guess
// whether marking is on; the caller decodes only what was read while it was.
class ErrorMarkDecoder {
public:
    static constexpr char kReplacement = '?';

    QByteArray decode(QByteArrayView received);
    // Forgets a sequence left unfinished, as when the port closes.
    void reset() { m_state = State::Plain; }

private:
    enum class State { Plain, AfterMark, ErrorByte };
    State m_state = State::Plain;
};
