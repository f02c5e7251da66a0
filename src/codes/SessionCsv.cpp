#include "codes/SessionCsv.h"

#include "codes/CodeRows.h"

#include <QDate>
#include <QDateTime>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

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
// of arrival times, not once per row; rows of one arrival (a serial batch) share the text.
class LocalTimes {
public:
    QByteArrayView text(qint64 msecsSinceEpoch)
    {
        if (msecsSinceEpoch == CodeRowEntry::kNoTime)
            return {};
        if (m_length > 0 && msecsSinceEpoch == m_msecs)
            return QByteArrayView(m_text, m_length);
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
        m_length =
            std::snprintf(m_text, sizeof m_text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                          date.year(), date.month(), date.day(), int(ms / 3'600'000),
                          int(ms / 60'000 % 60), int(ms / 1000 % 60), int(ms % 1000),
                          m_offsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
        m_length = std::clamp(m_length, 0, int(sizeof m_text) - 1);
        m_msecs = msecsSinceEpoch;
        return QByteArrayView(m_text, m_length);
    }

private:
    bool m_known = false;
    qint64 m_slot = 0;
    int m_offsetSeconds = 0;
    qint64 m_msecs = 0;
    char m_text[48] = {};
    int m_length = 0;
};

// How each byte is written in each of the three columns of codes and text: at most four
// characters, made once, so that a row is written by table look-ups alone. An entry holds the
// characters in its low four bytes (in memory order once stored little-endian) and their count
// above them, so that one load gives both.
using Pieces = std::array<quint64, 256>;

struct Tables {
    Pieces decimal{};
    Pieces hexadecimal{};
    // The text column, already as it stands between the field's double quotes: printable
    // ASCII as itself, a backslash doubled, the double quote doubled (CSV), bytes 0xA0 to 0xFF
    // as the UTF-8 of the Latin-1 character of the same value, any other byte as \xHH.
    Pieces text{};

    Tables()
    {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto set = [](quint64& piece, std::initializer_list<char> chars) {
            quint64 value = 0;
            int shift = 0;
            for (const char c : chars) {
                value |= quint64(static_cast<unsigned char>(c)) << shift;
                shift += 8;
            }
            piece = value | (quint64(chars.size()) << 32);
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

const Tables& tables()
{
    static const Tables made;
    return made;
}

// The columns' writers: each writes at most four characters per byte at out, and never past
// that (the stores of eight characters stay inside it).
void store(char* out, quint64 characters)
{
    qToUnaligned(qToLittleEndian(characters), out);
}

quint64 characters(quint64 piece)
{
    return piece & 0xFFFF'FFFFu;
}

unsigned lengthOf(quint64 piece)
{
    return unsigned(piece >> 32);
}

// Pieces of varying length, two bytes at a time: one store for both.
char* writeVarying(char* out, const unsigned char* in, qsizetype n, const Pieces& table)
{
    qsizetype i = 0;
    for (; i + 2 <= n; i += 2) {
        const quint64 a = table[in[i]];
        const quint64 b = table[in[i + 1]];
        store(out, characters(a) | (characters(b) << (8 * lengthOf(a))));
        out += lengthOf(a) + lengthOf(b);
    }
    if (i < n) {
        const quint64 a = table[in[i]];
        qToUnaligned(qToLittleEndian(quint32(characters(a))), out);
        out += lengthOf(a);
    }
    return out;
}

char* writeDecimal(char* out, const unsigned char* in, qsizetype n)
{
    return writeVarying(out, in, n, tables().decimal);
}

// Three characters for every byte, two bytes at a time.
char* writeHexadecimal(char* out, const unsigned char* in, qsizetype n)
{
    const Pieces& table = tables().hexadecimal;
    qsizetype i = 0;
    for (; i + 2 <= n; i += 2)
        store(out + 3 * i, characters(table[in[i]]) | (characters(table[in[i + 1]]) << 24));
    if (i < n)
        qToUnaligned(qToLittleEndian(quint32(characters(table[in[i]]))), out + 3 * i);
    return out + 3 * n;
}

// Whether all eight bytes stand for themselves in the text column: printable ASCII, neither
// a double quote nor a backslash. Device logs are mostly that.
bool plainText(quint64 eight)
{
    constexpr quint64 kOnes = 0x0101'0101'0101'0101u;
    constexpr quint64 kHighs = 0x8080'8080'8080'8080u;
    const quint64 below = (eight - kOnes * 0x20) & ~eight;         // a byte under 0x20
    const quint64 above = (eight + kOnes * (0x7F - 0x7E)) | eight; // a byte over 0x7E
    const quint64 quote = eight ^ (kOnes * '"');
    const quint64 backslash = eight ^ (kOnes * '\\');
    const quint64 quotes = (quote - kOnes) & ~quote;              // a byte equal to '"'
    const quint64 backslashes = (backslash - kOnes) & ~backslash; // a byte equal to '\\'
    return ((below | above | quotes | backslashes) & kHighs) == 0;
}

char* writeText(char* out, const unsigned char* in, qsizetype n)
{
    const Pieces& table = tables().text;
    qsizetype i = 0;
    while (i + 8 <= n) {
        const quint64 eight = qFromUnaligned<quint64>(in + i);
        if (plainText(eight)) {
            std::memcpy(out, in + i, 8);
            out += 8;
            i += 8;
            continue;
        }
        out = writeVarying(out, in + i, 8, table);
        i += 8;
    }
    return writeVarying(out, in + i, n - i, table);
}

// Bytes of a row formatted at a time: at most four times as many characters, well inside a
// piece.
constexpr qsizetype kSliceBytes = 4096;
constexpr qsizetype kMostPerByte = 4;
// Room kept past a piece: one slice's characters, and a row's fixed fields.
constexpr qsizetype kPieceSpare = kSliceBytes * kMostPerByte + 256;

} // namespace

QByteArray sessionCsvHeader()
{
    return "\xEF\xBB\xBF" +
           QStringLiteral("Hora,Enlace,Bytes,Códigos,Hexadecimal,Texto\r\n").toUtf8();
}

struct SessionCsvRows::Times : LocalTimes {};

SessionCsvRows::SessionCsvRows(Write write, int pieces)
    : m_write(std::move(write))
    , m_times(std::make_unique<Times>())
    , m_linkNames{linkName(Link::Server).toUtf8(), linkName(Link::Client).toUtf8(),
                  linkName(Link::Serial).toUtf8(), linkName(Link::Unknown).toUtf8()}
{
    for (int i = 0; i < std::max(pieces, 1); ++i)
        m_pieces.push_back(
            std::make_unique_for_overwrite<char[]>(std::size_t(kPieceBytes + kPieceSpare)));
    m_piece = m_pieces.front().get();
}

SessionCsvRows::~SessionCsvRows() = default;

bool SessionCsvRows::flush()
{
    if (m_used == 0)
        return true;
    const qsizetype used = std::exchange(m_used, 0);
    const char* made = std::exchange(m_piece, m_pieces[++m_next % m_pieces.size()].get());
    return m_write(QByteArrayView(made, used));
}

bool SessionCsvRows::reserve(qsizetype bytes)
{
    return m_used + bytes <= kPieceBytes + kPieceSpare || flush();
}

bool SessionCsvRows::column(QByteArrayView bytes, Format format)
{
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype at = 0; at < bytes.size(); at += kSliceBytes) {
        const qsizetype n = std::min(kSliceBytes, bytes.size() - at);
        if (!reserve(n * kMostPerByte))
            return false;
        m_used = format(m_piece + m_used, in + at, n) - m_piece;
        if (m_used >= kPieceBytes && !flush())
            return false;
    }
    return true;
}

bool SessionCsvRows::append(const CodeRowEntry& row)
{
    // The fields before the codes: the time, the link and the count, at most about 90
    // characters.
    if (!reserve(128))
        return false;
    const auto put = [this](QByteArrayView text) {
        if (text.isEmpty())
            return; // an unknown time or link: nothing, and no null pointer to copy from
        std::memcpy(m_piece + m_used, text.data(), std::size_t(text.size()));
        m_used += text.size();
    };
    put(m_times->text(row.msecsSinceEpoch));
    put(",");
    put(m_linkNames[std::size_t(row.link)]);
    put(",");
    char* count = m_piece + m_used;
    m_used = std::to_chars(count, count + 24, row.bytes.size()).ptr - m_piece;
    put(",\"");
    if (!column(row.bytes, writeDecimal) || !reserve(8))
        return false;
    put("\",\"");
    if (!column(row.bytes, writeHexadecimal) || !reserve(8))
        return false;
    put("\",\"");
    if (!column(row.bytes, writeText) || !reserve(8))
        return false;
    put("\"\r\n");
    return m_used < kPieceBytes || flush();
}

SaveContent sessionCsvContent(SessionSource session)
{
    const qint64 rows = session.rowCount;
    return {rows, [session = std::move(session)](SaveSink& sink) {
                if (!sink.write(sessionCsvHeader()))
                    return false;
                SessionCsvRows csv([&sink](QByteArrayView bytes) { return sink.write(bytes); });
                const auto row = [&](const CodeRowEntry& saved) {
                    return csv.append(saved) && sink.advance(1);
                };
                if (session.forEachRow && !session.forEachRow(row))
                    return false;
                return csv.flush();
            }};
}
