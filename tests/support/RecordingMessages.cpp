#include "support/RecordingMessages.h"

#include <QTest>

void RecordingMessages::show(const QString& text, MessageIcon icon)
{
    shown.push_back({text, icon});
    if (whileShown)
        whileShown(shown.back());
}

char* toString(const RecordingMessages::Shown& shown)
{
    static const char* const looks[] = {"critical", "exclamation", "none"};
    const QString text =
        QStringLiteral("\"%1\" (%2)").arg(shown.text, QString::fromLatin1(looks[int(shown.icon)]));
    return QTest::toString(text);
}
