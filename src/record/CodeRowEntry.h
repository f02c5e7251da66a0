#pragma once

#include "record/Link.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <limits>

// One code row as it is read back: when its chunk arrived, on which link, and its bytes (valid
// while the call that handed the entry over lasts).
struct CodeRowEntry {
    static constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();
    qint64 msecsSinceEpoch = kNoTime;
    Link link = Link::Unknown;
    QByteArrayView bytes;
};
