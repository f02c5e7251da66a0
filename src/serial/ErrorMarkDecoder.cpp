#include "serial/ErrorMarkDecoder.h"

namespace {
constexpr char kMark = char(0xFF);
} // namespace

QByteArray ErrorMarkDecoder::decode(QByteArrayView received)
{
    // Most reads hold no mark at all: they are handed on as they are.
    if (m_state == State::Plain && !received.contains(kMark))
        return received.toByteArray();

    QByteArray decoded;
    decoded.reserve(received.size());
    for (const char c : received) {
        switch (m_state) {
        case State::Plain:
            if (c == kMark)
                m_state = State::AfterMark;
            else
                decoded.append(c);
            break;
        case State::AfterMark:
            if (c == kMark) {
                decoded.append(kMark);
                m_state = State::Plain;
            } else if (c == '\0') {
                m_state = State::ErrorByte;
            } else {
                // Not something a terminal writes: the mark stands for itself.
                decoded.append(kMark).append(c);
                m_state = State::Plain;
            }
            break;
        case State::ErrorByte:
            decoded.append(kReplacement);
            m_state = State::Plain;
            break;
        }
    }
    return decoded;
}
