#pragma once

#include <QStringView>

#include <cstdint>

// Whole numbers written in decimal digits: the one way this program reads them, in the masked
// fields, the serial settings string, port numbers and the numbers in device names. Only the
// digits 0 to 9 count, and, where allowed, a sign before them: no blanks (the callers trim
// where their text may have them), no group separators, no other scripts' digits.
struct DigitRules {
    // A leading "+" or "-" (not alone).
    bool sign = false;
    // "07" as well as "7".
    bool leadingZeros = true;
    // The most characters taken, sign included; 0 for no limit but the value's range.
    int maxLength = 0;
};

struct DecimalReading {
    enum Outcome { Number, NotDigits, TooLarge };
    Outcome outcome = NotDigits;
    // Set for a Number only.
    std::int64_t value = 0;

    bool isNumber() const { return outcome == Number; }
};

// NotDigits for text that breaks the rules (longer than allowed included); TooLarge for digits
// beyond what 64 bits hold.
DecimalReading readDecimal(QStringView text, DigitRules rules = {});
