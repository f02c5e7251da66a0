#include "serial/Parities.h"

#include <QStringList>

const ParityNames* parityOfLetter(QStringView letter)
{
    for (const ParityNames& names : kParities) {
        if (letter.compare(QStringView(&names.letter, 1), Qt::CaseInsensitive) == 0)
            return &names;
    }
    return nullptr;
}

const ParityNames* parityOfDigit(double value)
{
    for (const ParityNames& names : kParities) {
        if (value == names.digit - u'0')
            return &names;
    }
    return nullptr;
}

QString parityWords(QSerialPort::Parity parity)
{
    for (const ParityNames& names : kParities) {
        if (names.parity == parity && parity != QSerialPort::NoParity)
            return QStringLiteral("paridad ") + QString::fromUtf16(names.word);
    }
    return QStringLiteral("ninguna paridad");
}

QString parityLetterChoices()
{
    QStringList choices;
    for (const ParityNames& names : kParities) {
        choices << QStringLiteral("%1 (%2)").arg(QChar(names.letter),
                                                 QString::fromUtf16(names.word));
    }
    const QString last = choices.takeLast();
    return choices.join(QStringLiteral(", ")) + QStringLiteral(" o ") + last;
}

QString parityDigitChoices()
{
    QStringList choices;
    for (const ParityNames& names : kParities) {
        choices << QStringLiteral("%1 %2").arg(QChar(names.digit),
                                               names.parity == QSerialPort::NoParity
                                                   ? parityWords(names.parity)
                                                   : QString::fromUtf16(names.word));
    }
    return choices.join(QStringLiteral(", "));
}
