#include "support/WindowUnderTest.h"

#include <QTest>

WindowUnderTest::WindowUnderTest()
    : WindowUnderTest(ServerFrmPlatform())
{
}

WindowUnderTest::WindowUnderTest(ServerFrmPlatform platform)
{
    auto recorder = std::make_unique<RecordingMessages>();
    messages = recorder.get();
    platform.messages = std::move(recorder);
    window = std::make_unique<ServerFrm>(std::move(platform));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("the window under test was not exposed");
}

WindowUnderTest::~WindowUnderTest() = default;
