// The masked-field-to-number conversions, for any text:
// - toInt16, toInt32 and toDouble either return or throw ControlError, never anything else;
// - the whole-number conversions accept exactly an optional sign and decimal digits, with blanks
//   around, and give the value a plain reading gives; an empty field and a number too large
//   for its width are refused, each saying so and naming the field;
// - toDouble gives, for plain decimal numbers ("12", "-0.5", ".25"), the correctly rounded
//   value;
// - a masked field (as the window makes them), whatever is typed or pasted into it, holds no
//   more than its places, and converts as above.
#include "FuzzSupport.h"

#include "app/MaskedField.h"
#include "base/ControlError.h"
#include "base/NumberConversion.h"
#include "base/SingleByteCodec.h"

#include <QApplication>
#include <QLineEdit>

#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

namespace {

const QString kFieldNames[] = {QStringLiteral("Puerto"), QStringLiteral("Código ASCII"),
                               QStringLiteral("Vel"), QStringLiteral("Par"),
                               QStringLiteral("%1 «%2»")};

struct Outcome {
    std::optional<double> value;
    QString refusal;
};

Outcome run(const std::function<double()>& conversion)
{
    try {
        return {conversion(), {}};
    } catch (const ControlError& e) {
        FUZZ_CHECK(!e.description().isEmpty());
        return {std::nullopt, e.description()};
    }
}

// Sign and digits, read plainly; nullopt if the text is not that. Saturates far beyond any
// width, which is all a range check needs.
std::optional<long double> plainWholeNumber(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (text.size() > 1 && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    long double value = 0;
    for (; i < text.size(); ++i) {
        if (text[i].unicode() < '0' || text[i].unicode() > '9')
            return std::nullopt;
        value = std::min<long double>(value * 10 + (text[i].unicode() - '0'), 1e30L);
    }
    return negative ? -value : value;
}

template <typename Int>
void checkWholeNumber(QStringView text, const QString& field, const Outcome& outcome)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        FUZZ_CHECK(!outcome.value);
        FUZZ_CHECK(outcome.refusal.contains(QStringLiteral("vacío")));
    } else if (const auto plain = plainWholeNumber(trimmed); !plain) {
        if (outcome.value)
            FUZZ_FAIL("not a number, yet converted", fuzzShow(*outcome.value));
        FUZZ_CHECK(outcome.refusal.contains(QStringLiteral("no contiene un número")));
    } else if (*plain < std::numeric_limits<Int>::min() ||
               *plain > std::numeric_limits<Int>::max()) {
        FUZZ_CHECK(!outcome.value);
        FUZZ_CHECK(outcome.refusal.contains(QStringLiteral("fuera de rango")));
    } else {
        if (!outcome.value)
            FUZZ_FAIL("a number in range, yet refused", outcome.refusal);
        FUZZ_CHECK_EQUAL(*outcome.value, double(*plain));
    }
    if (!outcome.value)
        FUZZ_CHECK(outcome.refusal.contains(QStringLiteral("«") + field + QStringLiteral("»")));
}

// "12", "-0.5", "3.", ".25": what a decimal field can hold, read with the standard library.
std::optional<double> plainDecimal(QStringView text)
{
    QByteArray ascii;
    qsizetype i = 0;
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) {
        if (text[0] == u'-')
            ascii.append('-');
        i = 1;
    }
    int digits = 0;
    int points = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return std::nullopt;
        ascii.append(char(c));
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    double value = 0;
    const auto [end, error] =
        std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value);
    if (error != std::errc() || end != ascii.constData() + ascii.size())
        return std::nullopt; // out of range: no plain reading to compare with
    return value;
}

void checkDecimal(QStringView text, const Outcome& outcome)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        FUZZ_CHECK(!outcome.value);
        FUZZ_CHECK(outcome.refusal.contains(QStringLiteral("vacío")));
        return;
    }
    if (const auto plain = plainDecimal(trimmed)) {
        if (!outcome.value)
            FUZZ_FAIL("a plain decimal number, yet refused", outcome.refusal);
        FUZZ_CHECK_EQUAL(*outcome.value, *plain);
        FUZZ_CHECK_EQUAL(std::signbit(*outcome.value), std::signbit(*plain));
    }
}

void checkConversions(const QString& text, const QString& field)
{
    checkWholeNumber<std::int16_t>(text, field, run([&] { return double(toInt16(text, field)); }));
    checkWholeNumber<std::int32_t>(text, field, run([&] { return double(toInt32(text, field)); }));
    checkDecimal(text, run([&] { return toDouble(text, field); }));
}

QLineEdit* g_field = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ensureWidgetApplication();
    g_field = new QLineEdit;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const int places = input.ConsumeIntegralInRange(1, 6);
    const bool paste = input.ConsumeBool();
    const QString& field = kFieldNames[input.ConsumeIntegralInRange<std::size_t>(0, 4)];
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QString text =
        SingleByteCodec::toText(QByteArrayView(rest.data(), qsizetype(rest.size())));

    checkConversions(text, field);
    checkConversions(QString::fromUtf8(rest.data(), qsizetype(rest.size())), field);

    // Through a masked field, as the handlers read them.
    makeMaskedField(*g_field, QString(places, u'#'), places);
    g_field->clear();
    if (paste) {
        g_field->setText(text);
    } else {
        for (const QChar c : text)
            g_field->insert(QString(c));
    }
    // Qt's digit places also take other scripts' digits, and a NUL: those must be refused by
    // the conversion, never read as some other number.
    const QString typed = g_field->text();
    FUZZ_CHECK(typed.size() <= places);
    checkConversions(typed, field);
    return 0;
}
