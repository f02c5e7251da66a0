#include "codes/SessionCsv.h"

#include "codes/CodeRows.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Written out in pieces of about this size, so that a session of any length costs little
// memory while it is saved.
constexpr qsizetype kFlushBytes = qsizetype(1) << 20;

constexpr qint64 kMsPerDay = 86'400'000;
// Local time changes its offset (summer time) only on a quarter hour of UTC.
constexpr qint64 kOffsetSlotMs = 15 * 60 * 1000;
constexpr qint64 kUnixEpochJulianDay = 2'440'588;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// ISO 8601 local time with milliseconds and the offset from UTC in force then
// ("2024-05-01T13:45:07.123+02:00"). The offset is asked of the system once per quarter hour
// of arrival times, not once per row.
class LocalTimes {
public:
    void append(QByteArray& out, qint64 msecsSinceEpoch)
    {
        if (msecsSinceEpoch == CodeRowEntry::kNoTime)
            return;
        const qint64 slot = floorDiv(msecsSinceEpoch, kOffsetSlotMs);
        if (!m_known || slot != m_slot) {
            m_known = true;
            m_slot = slot;
            m_offsetSeconds =
                QDateTime::fromMSecsSinceEpoch(slot * kOffsetSlotMs, Qt::LocalTime).offsetFromUtc();
        }
        const qint64 local = msecsSinceEpoch + qint64(m_offsetSeconds) * 1000;
        const qint64 day = floorDiv(local, kMsPerDay);
        const qint64 ms = local - day * kMsPerDay;
        const QDate date = QDate::fromJulianDay(day + kUnixEpochJulianDay);
        const int offsetMinutes = std::abs(m_offsetSeconds) / 60;
        char text[48];
        const int length =
            std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                          date.year(), date.month(), date.day(), int(ms / 3'600'000),
                          int(ms / 60'000 % 60), int(ms / 1000 % 60), int(ms % 1000),
                          m_offsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
        out.append(text, length);
    }

private:
    bool m_known = false;
    qint64 m_slot = 0;
    int m_offsetSeconds = 0;
};

// How each byte is written in each of the three columns of codes and text: at most four
// characters, made once, so that a row is written by table look-ups alone (a capture writes
// about eight bytes of CSV per byte received).
struct Piece {
    std::array<char, 4> text{};
    quint8 length = 0;
};

struct Pieces {
    std::array<Piece, 256> decimal;
    std::array<Piece, 256> hexadecimal;
    // The text column, already as it stands between the field's double quotes: printable
    // ASCII as itself, a backslash doubled, the double quote doubled (CSV), bytes 0xA0 to 0xFF
    // as the UTF-8 of the Latin-1 character of the same value, any other byte as \xHH.
    std::array<Piece, 256> text;

    Pieces()
    {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto set = [](Piece& piece, std::initializer_list<char> chars) {
            std::copy(chars.begin(), chars.end(), piece.text.begin());
            piece.length = quint8(chars.size());
        };
        for (int byte = 0; byte < 256; ++byte) {
            const auto b = std::size_t(byte);
            const char hundreds = char('0' + byte / 100);
            const char tens = char('0' + byte / 10 % 10);
            const char ones = char('0' + byte % 10);
            if (byte >= 100)
                set(decimal[b], {',', hundreds, tens, ones});
            else if (byte >= 10)
                set(decimal[b], {',', tens, ones});
            else
                set(decimal[b], {',', ones});
            set(hexadecimal[b], {',', kHex[byte >> 4], kHex[byte & 0xF]});
            if (byte == '\\')
                set(text[b], {'\\', '\\'});
            else if (byte == '"')
                set(text[b], {'"', '"'});
            else if (byte >= 0x20 && byte <= 0x7E)
                set(text[b], {char(byte)});
            else if (byte >= 0xA0)
                set(text[b], {char(0xC0 | (byte >> 6)), char(0x80 | (byte & 0x3F))});
            else
                set(text[b], {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]});
        }
    }
};

// Writes each byte's piece of the table at out, which has room for four more characters
// than the pieces take.
char* writePieces(char* out, QByteArrayView bytes, const std::array<Piece, 256>& table)
{
    for (const char c : bytes) {
        const Piece& piece = table[static_cast<unsigned char>(c)];
        std::memcpy(out, piece.text.data(), 4);
        out += piece.length;
    }
    return out;
}

} // namespace

QByteArray sessionCsvHeader()
{
    return "\xEF\xBB\xBF" +
           QStringLiteral("Hora,Enlace,Bytes,Códigos,Hexadecimal,Texto\r\n").toUtf8();
}

struct SessionCsvRows::Times : LocalTimes {};

SessionCsvRows::SessionCsvRows()
    : m_times(std::make_unique<Times>())
    , m_linkNames{linkName(Link::Server).toUtf8(), linkName(Link::Client).toUtf8(),
                  linkName(Link::Serial).toUtf8(), linkName(Link::Unknown).toUtf8()}
{
}

SessionCsvRows::~SessionCsvRows() = default;

void SessionCsvRows::append(QByteArray& out, const CodeRowEntry& row)
{
    static const Pieces pieces;
    m_times->append(out, row.msecsSinceEpoch);
    out.append(',');
    out.append(m_linkNames[std::size_t(row.link)]);
    out.append(',');
    out.append(QByteArray::number(row.bytes.size()));
    // The three quoted columns: at most 4 + 3 + 4 characters per byte, 9 of quotes, commas
    // and the line end, and 4 to spare for the last piece's copy.
    const qsizetype start = out.size();
    const qsizetype most = start + row.bytes.size() * 11 + 16;
    if (out.capacity() < most)
        out.reserve(std::max(most, out.capacity() * 2));
    out.resize(most);
    char* p = out.data() + start;
    *p++ = ',';
    *p++ = '"';
    p = writePieces(p, row.bytes, pieces.decimal);
    std::memcpy(p, "\",\"", 3);
    p = writePieces(p + 3, row.bytes, pieces.hexadecimal);
    std::memcpy(p, "\",\"", 3);
    p = writePieces(p + 3, row.bytes, pieces.text);
    std::memcpy(p, "\"\r\n", 3);
    out.truncate(p + 3 - out.constData());
}

SaveContent sessionCsvContent(SessionSource session)
{
    const qint64 rows = session.rowCount;
    return {rows, [session = std::move(session)](SaveSink& sink) {
                QByteArray out = sessionCsvHeader();
                out.reserve(kFlushBytes + (kFlushBytes >> 2));
                SessionCsvRows csv;
                const auto row = [&](const CodeRowEntry& saved) {
                    csv.append(out, saved);
                    if (out.size() >= kFlushBytes) {
                        if (!sink.write(out))
                            return false;
                        out.truncate(0);
                    }
                    return sink.advance(1);
                };
                if (session.forEachRow && !session.forEachRow(row))
                    return false;
                return sink.write(out);
            }};
}
