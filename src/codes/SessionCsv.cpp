#include "codes/SessionCsv.h"

#include "codes/CodeRows.h"

#include <QDate>
#include <QDateTime>

#include <cstdio>
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

// A chunk's bytes as the text column has them: printable ASCII as itself, a backslash
// doubled, bytes 0xA0 to 0xFF as the Latin-1 character of the same value, and every other
// byte as \xHH (two upper-case hexadecimal digits). Not yet quoted for CSV.
void appendEscaped(QByteArray& out, QByteArrayView bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\') {
            out.append("\\\\", 2);
        } else if (byte >= 0x20 && byte <= 0x7E) {
            out.append(c);
        } else if (byte >= 0xA0) {
            // UTF-8 of U+00A0..U+00FF.
            out.append(static_cast<char>(0xC0 | (byte >> 6)));
            out.append(static_cast<char>(0x80 | (byte & 0x3F)));
        } else {
            const char escape[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
            out.append(escape, sizeof escape);
        }
    }
}

// A field between double quotes, a quote inside it doubled.
void appendQuoted(QByteArray& out, QByteArrayView field)
{
    out.append('"');
    qsizetype from = 0;
    for (qsizetype quote = field.indexOf('"'); quote >= 0; quote = field.indexOf('"', from)) {
        out.append(field.sliced(from, quote + 1 - from));
        out.append('"');
        from = quote + 1;
    }
    out.append(field.sliced(from));
    out.append('"');
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
    m_times->append(out, row.msecsSinceEpoch);
    out.append(',');
    out.append(m_linkNames[std::size_t(row.link)]);
    out.append(',');
    out.append(QByteArray::number(row.bytes.size()));
    out.append(',');
    appendQuoted(out, codeRowAscii(row.bytes));
    out.append(',');
    appendQuoted(out, codeRowAscii(row.bytes, -1, CodeBase::Hexadecimal));
    out.append(',');
    m_escaped.truncate(0);
    appendEscaped(m_escaped, row.bytes);
    appendQuoted(out, m_escaped);
    out.append("\r\n", 2);
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
