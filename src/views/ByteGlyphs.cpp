#include "views/ByteGlyphs.h"

#include "base/SingleByteCodec.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr unsigned char kCR = '\r';
constexpr unsigned char kLF = '\n';
constexpr unsigned char kDelete = 0x7F;

// The names of the C0 control characters, as in their control pictures.
constexpr const char* kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                           "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                           "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                           "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

const char* controlName(unsigned char byte)
{
    if (byte < 0x20)
        return kControlNames[byte];
    return byte == kDelete ? "DEL" : nullptr;
}

// The line break a row ends in when it is not the pair CR LF: CR, LF, or 0 for none. A row
// may end in CRs before its CR LF (a device's line end, then the log's): the first one shows.
unsigned char loneLineEnd(QByteArrayView row)
{
    if (row.isEmpty())
        return 0;
    const auto at = [&row](qsizetype fromEnd) {
        return fromEnd <= row.size() ? static_cast<unsigned char>(row[row.size() - fromEnd]) : 0;
    };
    if (at(1) == kCR)
        return kCR;
    if (at(1) == kLF && at(2) != kCR)
        return kLF;
    if (at(1) == kLF && at(3) == kCR)
        return kCR;
    return 0;
}

// The character that stands for c on screen; CR and LF are left to the caller.
QChar shownChar(QChar c)
{
    if (c.unicode() < 0x20)
        return QChar(char16_t(0x2400 + c.unicode()));
    if (c.unicode() == 0x7F)
        return QChar(char16_t(0x2421));
    // The five byte values Windows-1252 leaves unassigned.
    return c.category() == QChar::Other_Control ? QChar(char16_t(0xFFFD)) : c;
}

} // namespace

QChar ByteGlyphs::displayChar(unsigned char byte)
{
    if (byte == '\r' || byte == '\n')
        return {};
    return shownChar(SingleByteCodec::toChar(byte));
}

QString ByteGlyphs::shownText(QStringView text)
{
    QString shown(text.size(), Qt::Uninitialized);
    QChar* out = shown.data();
    for (const QChar c : text)
        *out++ = c == u'\r' || c == u'\n' ? c : shownChar(c);
    return shown;
}

ByteGlyphs::ByteGlyphs(const QFont& font)
{
    const QFontMetricsF metrics(font);
    m_ascent = qCeil(metrics.ascent());
    m_lineHeight = std::max(1, qCeil(metrics.lineSpacing()));
    const int space = std::max(1, qRound(metrics.horizontalAdvance(QChar(u' ')) * kUnitsPerPixel));

    makeBoxes(font);
    for (int b = 0; b < 256; ++b) {
        const QChar shown = displayChar(static_cast<unsigned char>(b));
        if (shown.isNull())
            continue; // a line break: no glyph, no width
        if (m_boxes[std::size_t(b)].width > 0) {
            m_advance[std::size_t(b)] = (m_boxes[std::size_t(b)].width + 1) * kUnitsPerPixel;
            continue;
        }
        // Let Qt pick the font that has the character (the font itself or a fallback).
        QTextLayout layout(QString(shown), font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (runs.isEmpty() || runs.first().glyphIndexes().isEmpty()) {
            m_advance[b] = space;
            continue;
        }
        const QRawFont raw = runs.first().rawFont();
        const quint32 index = runs.first().glyphIndexes().first();
        auto known = std::find(m_fonts.begin(), m_fonts.end(), raw);
        if (known == m_fonts.end())
            known = m_fonts.insert(m_fonts.end(), raw);
        m_glyphs[b] = {int(known - m_fonts.begin()), index};
        const QList<QPointF> advances = raw.advancesForGlyphIndexes(QList<quint32>{index});
        const int units = advances.isEmpty() ? 0 : qRound(advances.first().x() * kUnitsPerPixel);
        m_advance[b] = std::max(units, 1);
    }
}

void ByteGlyphs::makeBoxes(const QFont& font)
{
    // The box spans the line less a pixel above and below; its letters are capitals about
    // three quarters of the font's height, centred in it.
    const QFontMetricsF metrics(font);
    m_boxTop = -std::floor(metrics.ascent()) + 1;
    m_boxHeight = std::max(4.0, std::floor(metrics.ascent()) + std::floor(metrics.descent()) - 1);
    QFont small(font);
    small.setPixelSize(std::max(6, qRound(metrics.ascent() * 0.72)));
    const QFontMetricsF smallMetrics(small);
    const qreal lettersBaseline =
        m_boxTop + std::round((m_boxHeight + smallMetrics.capHeight()) / 2);

    for (int b = 0; b < 256; ++b) {
        const char* name = controlName(static_cast<unsigned char>(b));
        if (!name)
            continue;
        QTextLayout layout(QString::fromLatin1(name), small);
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (runs.isEmpty())
            continue;
        m_boxFont = runs.first().rawFont();
        Box& box = m_boxes[std::size_t(b)];
        box.letters = runs.first().glyphIndexes();
        for (const QPointF at : runs.first().positions())
            box.positions.append(QPointF(at.x() + 2, at.y() - line.ascent() + lettersBaseline));
        box.width = qCeil(line.naturalTextWidth()) + 4;
    }
}

void ByteGlyphs::drawBoxes(QPainter& painter, QPointF origin, const QList<QPointF>& boxes,
                           const QList<unsigned char>& bytes) const
{
    thread_local QList<QRectF> frames;
    thread_local QList<quint32> letters;
    thread_local QList<QPointF> positions;
    frames.clear();
    letters.clear();
    positions.clear();
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        const Box& box = m_boxes[bytes[i]];
        const QPointF at = origin + boxes[i];
        frames.append(
            QRectF(at.x() + 0.5, at.y() + m_boxTop + 0.5, box.width - 1, m_boxHeight - 1));
        letters.append(box.letters);
        for (const QPointF p : box.positions)
            positions.append(p + boxes[i]);
    }
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.drawRects(frames);
    painter.restore();
    QGlyphRun run;
    run.setRawFont(m_boxFont);
    run.setGlyphIndexes(letters);
    run.setPositions(positions);
    painter.drawGlyphRun(origin, run);
}

qsizetype ByteGlyphs::draw(QPainter& painter, QPointF origin, QByteArrayView bytes,
                           qreal maxWidth) const
{
    // Glyphs carry their own positions, so a row is drawn as one run per font however its
    // characters alternate between the font and its fallbacks.
    const int limit = maxWidth > 0 ? int(std::floor(maxWidth * kUnitsPerPixel)) : INT_MAX;
    thread_local std::vector<QList<quint32>> indexes;
    thread_local std::vector<QList<QPointF>> positions;
    thread_local QList<QPointF> boxes;
    thread_local QList<unsigned char> boxed;
    indexes.resize(m_fonts.size());
    positions.resize(m_fonts.size());
    boxes.clear();
    boxed.clear();
    int x = 0;
    qsizetype drawn = 0;
    for (; drawn < bytes.size(); ++drawn) {
        const auto byte = static_cast<unsigned char>(bytes[drawn]);
        if (m_advance[byte] > limit - x)
            break;
        const Glyph& glyph = m_glyphs[byte];
        if (glyph.font >= 0) {
            indexes[std::size_t(glyph.font)].append(glyph.index);
            positions[std::size_t(glyph.font)].append(QPointF(qreal(x) / kUnitsPerPixel, 0));
        } else if (m_advance[byte] > 0 && m_boxes[byte].width > 0) {
            boxes.append(QPointF(qreal(x) / kUnitsPerPixel, 0));
            boxed.append(byte);
        }
        x += m_advance[byte];
    }
    if (drawn == bytes.size()) {
        if (const unsigned char lineEnd = loneLineEnd(bytes); lineEnd != 0) {
            boxes.append(QPointF(qreal(x) / kUnitsPerPixel, 0));
            boxed.append(lineEnd);
        }
    }
    if (!boxes.isEmpty())
        drawBoxes(painter, origin, boxes, boxed);
    for (std::size_t font = 0; font < m_fonts.size(); ++font) {
        if (indexes[font].isEmpty())
            continue;
        QGlyphRun run;
        run.setRawFont(m_fonts[font]);
        run.setGlyphIndexes(indexes[font]);
        run.setPositions(positions[font]);
        painter.drawGlyphRun(origin, run);
        indexes[font].clear();
        positions[font].clear();
    }
    return drawn;
}
