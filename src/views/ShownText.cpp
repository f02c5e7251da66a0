#include "views/ShownText.h"

#include "views/ByteGlyphs.h"

#include <array>

namespace {

const std::array<char16_t, 256>& table()
{
    static const std::array<char16_t, 256> shown = [] {
        std::array<char16_t, 256> made{};
        for (int b = 0; b < 256; ++b) {
            const QChar c = ByteGlyphs::displayChar(static_cast<unsigned char>(b));
            made[std::size_t(b)] = c.isNull() ? char16_t(b) : c.unicode(); // CR and LF
        }
        return made;
    }();
    return shown;
}

} // namespace

char16_t ShownText::character(unsigned char byte)
{
    return table()[byte];
}

QString ShownText::of(QByteArrayView bytes)
{
    const std::array<char16_t, 256>& shown = table();
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char byte : bytes)
        *out++ = shown[static_cast<unsigned char>(byte)];
    return text;
}
