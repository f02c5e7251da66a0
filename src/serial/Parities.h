#pragma once

#include <QSerialPort>
#include <QString>
#include <QStringView>

// The five parities under each name the operator meets them by: the digit typed in the "Par"
// field, the letter of the settings string (the Spanish initial, "9600,p,8,1") and the word
// ("par", as in "paridad par"). Every place that names a parity reads this one table.
struct ParityNames {
    QSerialPort::Parity parity;
    char16_t digit;
    char16_t letter;
    const char16_t* word;
};

inline constexpr ParityNames kParities[] = {
    {QSerialPort::NoParity, u'0', u'n', u"ninguna"},
    {QSerialPort::EvenParity, u'1', u'p', u"par"},
    {QSerialPort::OddParity, u'2', u'i', u"impar"},
    {QSerialPort::MarkParity, u'3', u'm', u"marca"},
    {QSerialPort::SpaceParity, u'4', u'e', u"espacio"},
};

// The entry of a settings letter (either case) or of a digit's value; null for one that names
// no parity.
const ParityNames* parityOfLetter(QStringView letter);
const ParityNames* parityOfDigit(double value);

// "paridad par", "ninguna paridad".
QString parityWords(QSerialPort::Parity parity);
// "n (ninguna), p (par), … o e (espacio)": the letters a settings string may use.
QString parityLetterChoices();
// "0 ninguna paridad, 1 par, …, 4 espacio": the digits the "Par" field may hold.
QString parityDigitChoices();
