// The soak's replay and its checks are in Soak.h.

#include "Soak.h"

#include "app/MemoryPolicy.h"

#include <QTest>

using namespace soak;

class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // As the program does at start-up, so that memory behaves here as it does in use.
        keepLargeBuffersForReuse();
    }

    void everyLinkStaysWholeUnderLoad()
    {
        const SoakSettings settings = settingsFromEnvironment();
        qInfo("soak: %d s, %lld MB, seed %u%s", settings.seconds, settings.megabytes, settings.seed,
              kMemoryIsTheProgramsOwn ? "" : "; memory not checked under AddressSanitizer");
        Soak soak(settings);
        QVERIFY2(soak.run(), qPrintable(soak.failure()));
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
