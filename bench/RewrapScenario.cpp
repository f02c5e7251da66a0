#include "BenchSupport.h"
#include "Scenarios.h"
#include "record/SessionRecord.h"
#include "views/LogPane.h"

#include <QCoreApplication>
#include <QScrollBar>

RewrapRun rewrapLargePane(qint64 size)
{
    RewrapRun run;
    LogPane pane;
    pane.resize(480, 300);
    pane.show();
    QCoreApplication::processEvents();
    DeviceLog log;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += chunk.size()) {
        log.fill(chunk);
        pane.append(chunk);
    }
    QScrollBar* bar = pane.verticalScrollBar();
    waitUntil([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }, 10'000);
    SessionRecord::waitUntilCompressed(120'000);

    StallMeter meter;
    meter.start();
    waitUntil([&] { return meter.count() >= 2; }); // the meter runs before the change
    QElapsedTimer clock;
    clock.start();
    pane.resize(400, 300);
    const bool done = waitUntil([&] { return !pane.rewrapping(); }, 600'000);
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    // A turn that held the loop at the end is counted at the next firing.
    const std::size_t firings = meter.count();
    waitUntil([&] { return meter.count() > firings + 1; });
    meter.stop();
    run.stallMs = done && bar->value() == bar->maximum() ? meter.max() : -1;
    return run;
}
