#include "support/peers/PeerStream.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// A prime, so that no chunk or datagram size lines up with the pattern's repeats.
constexpr qint64 kPatternSize = 1'000'003;

struct Random {
    std::uint32_t state;
    std::uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

QByteArray makePattern(Random& random)
{
    QByteArray pattern(kPatternSize, Qt::Uninitialized);
    char* out = pattern.data();
    qint64 at = 0;
    while (at < kPatternSize) {
        const qint64 run = std::min<qint64>(16 + random.next() % 4096, kPatternSize - at);
        switch (random.next() % 6) {
        case 0:
        case 1:
            for (qint64 i = 0; i < run; ++i)
                out[at + i] = char(random.next() >> 24);
            break;
        case 2: {
            const std::uint32_t first = random.next();
            for (qint64 i = 0; i < run; ++i)
                out[at + i] = char((first + std::uint32_t(i)) & 0xFF);
            break;
        }
        case 3: {
            // Text lines of varying length, each ended by CR LF.
            qint64 lineLeft = 20 + random.next() % 80;
            for (qint64 i = 0; i < run; ++i) {
                if (lineLeft == 0 && i + 1 < run) {
                    out[at + i++] = '\r';
                    out[at + i] = '\n';
                    lineLeft = 20 + random.next() % 80;
                    continue;
                }
                const std::uint32_t r = random.next() % 32;
                out[at + i] = r < 26 ? char('a' + r) : ' ';
                --lineLeft;
            }
            break;
        }
        case 4: {
            static constexpr char kBreaks[] = {'\r', '\n', 'x', '\r', '\n', '\0'};
            for (qint64 i = 0; i < run; ++i)
                out[at + i] = kBreaks[random.next() % sizeof kBreaks];
            break;
        }
        default:
            std::memset(out + at, random.next() % 2 ? 0x00 : 0xFF, std::size_t(run));
            break;
        }
        at += run;
    }
    return pattern;
}

} // namespace

PeerStream::PeerStream(std::uint32_t seed)
{
    Random random{seed * 2654435761u + 0x9E3779B9u};
    if (random.state == 0)
        random.state = 1;
    m_pattern = std::make_shared<const QByteArray>(makePattern(random));
    m_shift = random.next() % kPatternSize;
    m_passesDiffer = true;
}

PeerStream PeerStream::repeating(QByteArray pattern)
{
    PeerStream stream;
    stream.m_pattern = std::make_shared<const QByteArray>(std::move(pattern));
    return stream;
}

void PeerStream::fill(qint64 offset, char* out, qint64 size) const
{
    const char* pattern = m_pattern->constData();
    const qint64 period = m_pattern->size();
    Q_ASSERT(period > 0 || size == 0);
    qint64 at = offset + m_shift;
    while (size > 0) {
        const qint64 from = at % period;
        const qint64 n = std::min(size, period - from);
        std::memcpy(out, pattern + from, std::size_t(n));
        const auto pass = static_cast<unsigned char>((at / period) * 167);
        if (m_passesDiffer && pass != 0) {
            for (qint64 i = 0; i < n; ++i)
                out[i] = char(static_cast<unsigned char>(out[i]) ^ pass);
        }
        out += n;
        size -= n;
        at += n;
    }
}

QByteArray PeerStream::bytes(qint64 offset, qint64 size) const
{
    QByteArray out(size, Qt::Uninitialized);
    fill(offset, out.data(), size);
    return out;
}
