#pragma once

#include <QByteArrayView>
#include <QChar>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <QStringView>

#include <array>
#include <vector>

class QPainter;

// The glyphs of the 256 byte values of the single-byte code page in one font, resolved once
// (fallback fonts included). Text in that code page is then drawn as glyph runs, with no
// shaping, and measured with exact advances that simply add up: what is drawn is where hit
// tests and wrapping think it is.
//
// What each byte looks like: a control character (C0 and DEL) is drawn as its abbreviation
// in a small box ("NUL", "STX", "DEL"), as hex editors draw them: legible at the font's size
// and told apart from each other, with no font needed that has the control pictures. CR and
// LF end rows and have no width; a row that ends in a lone CR or a lone LF shows it as a box
// after its text, so the line ends a device sends can be told apart (the CR LF that ends a
// log line shows nothing). Assistive technology is given the control pictures (shownText).
class ByteGlyphs {
public:
    // Widths are kept in 1/64 pixel so that sums are exact.
    static constexpr int kUnitsPerPixel = 64;

    explicit ByteGlyphs(const QFont& font);

    // The width of a byte in 1/64 px; 0 only for CR and LF.
    int advance(unsigned char byte) const { return m_advance[byte]; }
    const std::array<int, 256>& advances() const { return m_advance; }
    int ascent() const { return m_ascent; }
    int lineHeight() const { return m_lineHeight; }

    // Draws bytes on the baseline from origin, with the painter's pen colour, stopping before
    // the first byte that would end past maxWidth (in pixels) when maxWidth is positive.
    // Given a whole row, also draws the box of the lone CR or LF that ends it.
    // Returns how many bytes were drawn.
    qsizetype draw(QPainter& painter, QPointF origin, QByteArrayView bytes,
                   qreal maxWidth = 0) const;

    // The character a byte is shown as.
    static QChar displayChar(unsigned char byte);
    // Text of the code page as it is shown, character for character (so offsets stay the
    // same): control characters as their pictures, line breaks kept as they are. This is what
    // assistive technology is given, which a raw NUL would cut short.
    static QString shownText(QStringView text);

private:
    struct Glyph {
        int font = -1; // index into m_fonts; -1: nothing to draw
        quint32 index = 0;
    };
    // A control character's box: its letters, placed from the box's left edge on the
    // baseline, and its width in whole pixels.
    struct Box {
        QList<quint32> letters;
        QList<QPointF> positions;
        int width = 0;
    };

    void makeBoxes(const QFont& font);
    void drawBoxes(QPainter& painter, QPointF origin, const QList<QPointF>& boxes,
                   const QList<unsigned char>& bytes) const;

    std::vector<QRawFont> m_fonts;
    std::array<Glyph, 256> m_glyphs{};
    // Indexed by byte; width 0: the byte has no box.
    std::array<Box, 256> m_boxes{};
    QRawFont m_boxFont;
    qreal m_boxTop = 0; // from the baseline
    qreal m_boxHeight = 0;
    std::array<int, 256> m_advance{};
    int m_ascent = 0;
    int m_lineHeight = 1;
};
