// Writing to a file while capturing: a peer floods the server endpoint with device-log text
// while "Grabar en archivo…" writes every chunk to a file as session CSV. Timed from the first
// byte sent until the last is in the file; the event loop's gaps are measured meanwhile.

#include "CaptureScenario.h"

#include "BenchSupport.h"
#include "SustainedFlood.h"

#include "app/ServerFrm.h"
#include "app/ServerFrmControls.h"
#include "base/OperatorMessages.h"
#include "codes/SessionCapture.h"
#include "record/SessionRecord.h"
#include "support/peers/PeerStream.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QRadioButton>
#include <QTemporaryDir>

namespace {

class NoMessages final : public OperatorMessages {
public:
    void show(const QString&, MessageIcon) override { ++count; }
    int count = 0;
};

} // namespace

CaptureRun captureWhileFlooding(qint64 total, const PeerStream& stream)
{
    CaptureRun run;
    // A memory-backed folder where there is one, as for the save: the figure is the program's,
    // not the disk's (which syncs about 80 MB/s here, and the CSV is about eight times the
    // bytes received).
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir folder((QFileInfo(shm).isDir() ? shm : QDir::tempPath()) +
                         QStringLiteral("/quorvane-bench-XXXXXX"));
    const QString path = folder.filePath(QStringLiteral("captura.csv"));
    auto messages = std::make_unique<NoMessages>();
    const NoMessages& told = *messages;
    ServerFrmPlatform platform;
    platform.messages = std::move(messages);
    platform.askSavePath = [path](QWidget*, const QString&, const QString&) {
        return path;
    };
    platform.askCaptureStart = [](QWidget*, const QString&) {
        return CaptureStart::FromNow;
    };
    ServerFrm w(std::move(platform));
    w.show();
    w.controls().Option1->click();
    SessionCapture& capture = w.sessionCapture();
    qint64 written = 0;
    QObject::connect(&capture, &SessionCapture::written,
                     [&written](qint64 rows) { written = rows; });
    capture.action()->trigger();

    StallMeter stalls;
    stalls.start();
    QElapsedTimer clock;
    clock.start();
    const SustainedFloodRun flood = sustainedTcpFlood(w, total, stream, FloodCheck::Later);
    capture.catchUp();
    const qint64 rows = w.sessionRecord().codeRowCount();
    const bool inFile = runUntil([&] { return written >= rows || told.count > 0; }, 600'000);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    stalls.stop();
    // Every byte checked once the clock has stopped: reading the whole record back would take
    // a core from the writer while it finishes.
    if (!flood.ok || !inFile || told.count > 0 ||
        bytesNotAsSent(w.sessionRecord(), flood.firstRow, total, stream) != 0)
        return run;
    run.megabytesPerSecond = double(total) / double(1 << 20) / seconds;
    run.stallP99Ms = stalls.percentile(0.99);
    run.fileMegabytes = double(QFileInfo(path).size()) / double(1 << 20);
    run.ok = true;
    return run;
}
