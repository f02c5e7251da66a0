#include "views/PaneTimes.h"

#include "base/SingleByteCodec.h"
#include "record/SessionRecord.h"
#include "views/TextRows.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr qsizetype kRememberedLines = 4096;

bool isLineBreak(char byte)
{
    return byte == '\r' || byte == '\n';
}

} // namespace

void PaneTimes::attach(const SessionRecord& record, Link link)
{
    m_record = &record;
    m_link = link;
    forget();
}

void PaneTimes::setMode(Mode mode)
{
    m_mode = mode;
}

void PaneTimes::forget()
{
    m_known.clear();
}

QString PaneTimes::widestLabel(Mode mode)
{
    switch (mode) {
    case Mode::Clock:
        return QStringLiteral("00:00:00.000");
    case Mode::Relative:
        return QStringLiteral("+0000.000 s");
    case Mode::Hidden:
        break;
    }
    return {};
}

qint64 PaneTimes::rowOfLine(qint64 lineStart) const
{
    if (const auto it = m_known.constFind(lineStart); it != m_known.cend())
        return *it;
    const qint64 row = m_record->receivedRowFrom(m_link, lineStart);
    const qint64 paneEnd = m_record->paneSize(m_link);
    // The byte found is the line's if no line break comes before it.
    const qint64 firstReceived =
        row < 0 ? paneEnd : std::max(lineStart, m_record->codeRowPanePosition(row));
    bool broken = false;
    m_record->forEachPaneSpan(m_link, lineStart, firstReceived - lineStart,
                              [&broken](QByteArrayView span) {
                                  broken = std::any_of(span.begin(), span.end(), isLineBreak);
                                  return !broken;
                              });
    const qint64 found = broken || row < 0 ? -1 : row;
    // A line with no received byte yet may still get one, unless it has ended.
    if (found >= 0 || broken) {
        if (m_known.size() >= kRememberedLines)
            m_known.clear();
        m_known.insert(lineStart, found);
    }
    return found;
}

QString PaneTimes::label(qint64 lineStart) const
{
    if (m_mode == Mode::Hidden || !m_record)
        return {};
    const qint64 row = rowOfLine(lineStart);
    if (row < 0)
        return {};
    const qint64 time = m_record->codeRowTime(row);
    if (m_mode == Mode::Clock)
        return clockText(time);
    // Since the line before with a time: the same chunk's (a chunk of several lines) or the
    // link's previous one.
    qint64 since = time;
    if (m_record->codeRowPanePosition(row) >= lineStart) {
        const qint64 previous = m_record->previousRowOfLink(row);
        if (previous >= 0)
            since = m_record->codeRowTime(previous);
    }
    return sinceText(time - since);
}

QString PaneTimes::clockText(qint64 msecsSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch).toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString PaneTimes::sinceText(qint64 msecs)
{
    // Past 9,999 s a decimal goes for each digit more, so that the label keeps the margin's
    // width for months; the decimals are cut, not rounded, so that a gap never reads longer.
    int decimals = 3;
    qint64 unit = 1;
    while (decimals > 0 && msecs >= 10'000'000 * unit) {
        --decimals;
        unit *= 10;
    }
    const qint64 scaled = msecs / unit;
    qint64 fraction = 1;
    for (int i = 0; i < decimals; ++i)
        fraction *= 10;
    QString text = u'+' + QString::number(scaled / fraction);
    if (decimals > 0)
        text += u'.' + QStringLiteral("%1").arg(scaled % fraction, decimals, 10, QLatin1Char('0'));
    return text + QStringLiteral(" s");
}

QString PaneTimes::timedText(qint64 from, qint64 to) const
{
    if (!m_record || from >= to)
        return {};
    qint64 lineStart = from;
    while (lineStart > 0 && !isLineBreak(char(m_record->paneByte(m_link, lineStart - 1))))
        --lineStart;
    const QByteArray bytes = m_record->paneBytes(m_link, from, to - from);
    QString out;
    out.reserve(bytes.size() + bytes.size() / 8);
    qsizetype piece = 0;
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        const bool atEnd = i == bytes.size();
        const bool lineBegins = i == 0 || (isLineBreak(bytes[i - 1]) &&
                                           !(bytes[i - 1] == '\r' && !atEnd && bytes[i] == '\n'));
        if (atEnd || (lineBegins && i > 0)) {
            out += SingleByteCodec::toText(QByteArrayView(bytes).sliced(piece, i - piece));
            piece = i;
        }
        if (lineBegins && !atEnd) {
            out += label(i == 0 ? lineStart : from + i);
            out += u'\t';
        }
    }
    return out;
}

QString PaneTimes::rowLabel(const TextRows& rows, qint64 row) const
{
    if (m_mode == Mode::Hidden || !m_record || row < 0 || row >= rows.rowCount())
        return {};
    const qint64 start = rows.rowStart(row);
    if (start > 0 && !isLineBreak(char(m_record->paneByte(m_link, start - 1))))
        return {};
    return label(start);
}

SaveContent timedPaneContent(PaneSource pane, RecordSnapshot::LinkRows rows, PaneTimes::Mode mode)
{
    const qint64 size = pane.size;
    return {size, [pane = std::move(pane), rows, mode](SaveSink& sink) mutable {
                if (!pane.forEachSpan)
                    return true;
                RecordSnapshot::LinkRows::Row row;
                bool haveRow = rows.next(row);
                qint64 previousTime = CodeRowEntry::kNoTime; // the row's before `row`
                qint64 position = 0;
                qint64 lineStart = 0;
                qint64 received = -1; // where the line's first received byte may be
                bool labelled = true; // the line's label is written
                char last = '\n';
                QByteArray head; // the line's bytes while its label is not known yet
                QByteArray out;
                const auto writeLabel = [&](bool found) {
                    if (found && mode == PaneTimes::Mode::Clock) {
                        out += PaneTimes::clockText(row.time).toLatin1();
                    } else if (found) {
                        const bool sameChunk = row.panePosition < lineStart;
                        const qint64 since = sameChunk || previousTime == CodeRowEntry::kNoTime
                                                 ? row.time
                                                 : previousTime;
                        out += PaneTimes::sinceText(row.time - since).toLatin1();
                    }
                    out += '\t';
                    out += head;
                    head.clear();
                    labelled = true;
                };
                const bool whole = pane.forEachSpan([&](QByteArrayView span) {
                    for (const char byte : span) {
                        if (last == '\n' || (last == '\r' && byte != '\n')) {
                            if (!labelled)
                                writeLabel(false);
                            lineStart = position;
                            while (haveRow && row.panePosition + row.length <= position) {
                                previousTime = row.time;
                                haveRow = rows.next(row);
                            }
                            received = haveRow ? std::max(position, row.panePosition) : -1;
                            labelled = false;
                        }
                        if (!labelled && position == received)
                            writeLabel(true);
                        else if (!labelled && isLineBreak(byte))
                            writeLabel(false);
                        (labelled ? out : head) += byte;
                        last = byte;
                        ++position;
                    }
                    const bool going = sink.write(out) && sink.advance(span.size());
                    out.clear();
                    return going;
                });
                if (!whole)
                    return false;
                if (!labelled)
                    writeLabel(false);
                return sink.write(out);
            }};
}
