#include "BenchSupport.h"
#include "Scenarios.h"
#include "record/SessionRecord.h"
#include "views/FindBar.h"
#include "views/LogPane.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

SearchRun searchLargePane(qint64 size)
{
    SearchRun run;
    QWidget frame;
    frame.resize(500, 340);
    auto* pane = new LogPane(&frame);
    pane->setGeometry(10, 30, 480, 300);
    FindBar* bar = installPaneFind(*pane);
    frame.show();
    QCoreApplication::processEvents();
    DeviceLog log;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += chunk.size()) {
        log.fill(chunk);
        pane->append(chunk);
    }
    // The one match, at the very end: every byte before it is read.
    pane->append("ALARM E03\r\n");
    SessionRecord::waitUntilCompressed(120'000);
    pane->setSelStart(0);

    bar->open();
    bar->field()->setText(QStringLiteral("ALARM E03"));
    StallMeter meter;
    meter.start();
    waitUntil([&] { return meter.count() >= 2; });
    bool ended = false;
    QObject::connect(bar, &FindBar::searchEnded, bar, [&] { ended = true; });
    QElapsedTimer clock;
    clock.start();
    bar->find(RecordSearch::Direction::Next);
    // Asleep until told, as a window's loop is: the search's threads need both cores.
    runUntil([&] { return ended; }, 600'000);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const std::size_t firings = meter.count();
    waitUntil([&] { return meter.count() > firings + 1; });
    meter.stop();
    const bool found = pane->selStart() == pane->length() - 11 && pane->selLength() == 9;
    run.megabytesPerSecond = found ? double(pane->length()) / double(1 << 20) / seconds : 0;
    run.stallMs = found ? meter.max() : -1;
    return run;
}
