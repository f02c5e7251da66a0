// The single-byte codec, for any bytes and any text:
// - bytes -> text -> bytes gives back the same bytes, one character per byte, and each
//   character is toChar of its byte;
// - text -> bytes gives one byte per code point (a surrogate pair is one code point, a lone
//   surrogate is one too): the code page's byte where the character has one, "?" otherwise.
// Once per process, the 256 characters are checked against Qt's own Windows-1252 decoder (the
// five unassigned values decode there to the C1 control of the same value, as here) and
// toByte against every code point.
#include "FuzzSupport.h"

#include "base/SingleByteCodec.h"

#include <QStringDecoder>

#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_map>

namespace {

// The code page read backwards: character -> byte, from toChar alone.
std::unordered_map<char32_t, char> g_byteOf;

void checkTheCodePage()
{
    for (int b = 0; b < 256; ++b) {
        const QChar c = SingleByteCodec::toChar(static_cast<unsigned char>(b));
        FUZZ_CHECK(!c.isSurrogate());
        // Two bytes for one character would make the round trip impossible.
        FUZZ_CHECK(g_byteOf.emplace(c.unicode(), char(b)).second);
        FUZZ_CHECK_EQUAL(int(static_cast<unsigned char>(SingleByteCodec::toByte(c.unicode()))), b);
    }

    QStringDecoder decoder("windows-1252");
    if (decoder.isValid()) {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString decoded = decoder.decode(all);
        FUZZ_CHECK_EQUAL(SingleByteCodec::toText(all), decoded);
    }

    for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
        const auto known = g_byteOf.find(codePoint);
        const char expected = known != g_byteOf.end() ? known->second : '?';
        if (SingleByteCodec::toByte(codePoint) != expected)
            FUZZ_CHECK_EQUAL(int(SingleByteCodec::toByte(codePoint)), int(expected));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    checkTheCodePage();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The input as received bytes.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = SingleByteCodec::toText(bytes);
    FUZZ_CHECK_EQUAL(text.size(), bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (text[i] != SingleByteCodec::toChar(static_cast<unsigned char>(bytes[i])))
            FUZZ_CHECK_EQUAL(text.mid(i, 1), QString(SingleByteCodec::toChar(
                                                 static_cast<unsigned char>(bytes[i]))));
    }
    FUZZ_CHECK_EQUAL(SingleByteCodec::toBytes(text), bytes);

    // The same input as UTF-16 code units: any text an operator could paste, and worse.
    QString typed(qsizetype(size / 2), Qt::Uninitialized);
    if (!typed.isEmpty())
        std::memcpy(typed.data(), data, std::size_t(typed.size()) * 2);
    QByteArray expected;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        char32_t codePoint = typed[i].unicode();
        if (typed[i].isHighSurrogate() && i + 1 < typed.size() && typed[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(typed[i], typed[i + 1]);
            ++i;
        }
        const auto known = g_byteOf.find(codePoint);
        expected.append(known != g_byteOf.end() ? known->second : '?');
    }
    FUZZ_CHECK_EQUAL(SingleByteCodec::toBytes(typed), expected);
    return 0;
}
