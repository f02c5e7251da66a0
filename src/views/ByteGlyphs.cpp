#include "views/ByteGlyphs.h"

#include "base/SingleByteCodec.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

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

    for (int b = 0; b < 256; ++b) {
        const QChar shown = displayChar(static_cast<unsigned char>(b));
        if (shown.isNull())
            continue; // a line break: no glyph, no width
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

qsizetype ByteGlyphs::draw(QPainter& painter, QPointF origin, QByteArrayView bytes,
                           qreal maxWidth) const
{
    // Glyphs carry their own positions, so a row is drawn as one run per font however its
    // characters alternate between the font and its fallbacks.
    const int limit = maxWidth > 0 ? int(std::floor(maxWidth * kUnitsPerPixel)) : INT_MAX;
    thread_local std::vector<QList<quint32>> indexes;
    thread_local std::vector<QList<QPointF>> positions;
    indexes.resize(m_fonts.size());
    positions.resize(m_fonts.size());
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
        }
        x += m_advance[byte];
    }
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
