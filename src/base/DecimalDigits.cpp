#include "base/DecimalDigits.h"

#include <limits>

DecimalReading readDecimal(QStringView text, DigitRules rules)
{
    if (rules.maxLength > 0 && text.size() > rules.maxLength)
        return {};
    bool negative = false;
    if (rules.sign && text.size() > 1 && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty() || (!rules.leadingZeros && text.size() > 1 && text[0] == u'0'))
        return {};

    // Gathered as a negative number, which reaches one further than a positive one.
    constexpr std::int64_t kLeast = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    bool tooLarge = false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return {};
        const int digit = c.unicode() - u'0';
        if (value < (kLeast + digit) / 10)
            tooLarge = true;
        else
            value = value * 10 - digit;
    }
    if (tooLarge || (!negative && value == kLeast))
        return {DecimalReading::TooLarge};
    return {DecimalReading::Number, negative ? value : -value};
}
