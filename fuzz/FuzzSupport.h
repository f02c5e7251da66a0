#pragma once

#include <QByteArray>
#include <QString>

#include <concepts>

// What every fuzz target shares: one Qt application object per process, and a check that
// stops the run with a readable reason, so that libFuzzer keeps the input that broke it.

// The application object for targets that need an event loop (QCoreApplication) or widgets
// (QApplication, drawn offscreen). Made on the first call, kept until the process ends.
void ensureCoreApplication();
void ensureWidgetApplication();

// Prints where and what failed, with the two values compared when given, then aborts.
[[noreturn]] void fuzzFailure(const char* file, int line, const char* condition,
                              const QString& detail = {});

// How a compared value is printed when a check fails.
QString fuzzShow(const QByteArray& value);
QString fuzzShow(const QString& value);
QString fuzzShow(long long value);
QString fuzzShow(double value);
template <std::integral Int> QString fuzzShow(Int value)
{
    return fuzzShow(static_cast<long long>(value));
}

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFailure(__FILE__, __LINE__, #condition);                                           \
    } while (false)

#define FUZZ_FAIL(what, detail) fuzzFailure(__FILE__, __LINE__, what, detail)

#define FUZZ_CHECK_EQUAL(actual, expected)                                                         \
    do {                                                                                           \
        if (!((actual) == (expected)))                                                             \
            fuzzFailure(__FILE__, __LINE__, #actual " == " #expected,                              \
                        fuzzShowPair(actual, expected));                                           \
    } while (false)

template <typename A, typename B> QString fuzzShowPair(const A& actual, const B& expected)
{
    return QStringLiteral("actual: ") + fuzzShow(actual) + QStringLiteral("\nexpected: ") +
           fuzzShow(expected);
}
