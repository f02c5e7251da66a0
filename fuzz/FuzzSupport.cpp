#include "FuzzSupport.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt keeps references to argc and argv for the application's whole life.
int g_argc = 1;
char g_program[] = "fuzz";
char* g_argv[] = {g_program, nullptr};

} // namespace

void ensureCoreApplication()
{
    if (!QCoreApplication::instance())
        new QCoreApplication(g_argc, g_argv);
}

void ensureWidgetApplication()
{
    if (QCoreApplication::instance())
        return;
    // Fuzzing runs headless, in CI as on a desk.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(g_argc, g_argv);
}

void fuzzFailure(const char* file, int line, const char* condition, const QString& detail)
{
    std::fprintf(stderr, "\n%s:%d: property broken: %s\n", file, line, condition);
    if (!detail.isEmpty())
        std::fprintf(stderr, "%s\n", detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

QString fuzzShow(const QByteArray& value)
{
    constexpr qsizetype kShown = 96;
    QString text = QStringLiteral("%1 bytes: ").arg(value.size());
    text += QString::fromLatin1(value.left(kShown).toHex(' '));
    if (value.size() > kShown)
        text += QStringLiteral(" …");
    return text;
}

QString fuzzShow(const QString& value)
{
    QString shown = QStringLiteral("\"");
    for (const QChar c : value) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            shown += c;
        else
            shown += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return shown + QStringLiteral("\"");
}

QString fuzzShow(long long value)
{
    return QString::number(value);
}

QString fuzzShow(double value)
{
    return QString::number(value, 'g', 17);
}
