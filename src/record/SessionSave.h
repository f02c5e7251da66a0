#pragma once

#include "record/CodeRowEntry.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <functional>

// What a save reads, independent of where it is kept. Each source is a copyable value taken on
// the window's thread and read on the saving thread while the links keep receiving: it shows
// the record as it was when it was taken, whatever arrives or is cleared afterwards. Every
// visit returns false to stop early (a cancelled save), and so does the walk then.

// A log pane's text as shown, in its single-byte form, in pieces.
struct PaneSource {
    qint64 size = 0;
    std::function<bool(const std::function<bool(QByteArrayView)>& visit)> forEachSpan;
};

// Every received chunk of the session, in arrival order.
struct SessionSource {
    qint64 rowCount = 0;
    std::function<bool(const std::function<bool(const CodeRowEntry&)>& visit)> forEachRow;
};

// Where a save's bytes go. Both calls return false once the save is to stop (cancelled, or the
// file refused a write): the writer then returns at once.
class SaveSink {
public:
    virtual ~SaveSink() = default;
    virtual bool write(QByteArrayView bytes) = 0;
    // Another `units` of the content's work is done (for the progress shown).
    virtual bool advance(qint64 units) = 0;
};

// What a save writes: how much work it is, in units of its own choosing, and the writer.
struct SaveContent {
    qint64 units = 0;
    std::function<bool(SaveSink&)> writeTo;
};

// A pane saved byte for byte: units are bytes.
SaveContent paneContent(PaneSource pane);
