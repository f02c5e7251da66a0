#include "support/WindowUnderTest.h"

#include "support/peers/Loopback.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
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
    if (!platform.askClose) {
        platform.askClose = [questions = closeQuestions](QWidget*, const QString& text) {
            questions->asked.push_back(text);
            if (questions->answers.empty())
                return CloseAnswer::CloseWithoutSaving;
            const CloseAnswer answer = questions->answers.front();
            questions->answers.pop_front();
            return answer;
        };
    }
    if (!platform.askCaptureStart) {
        platform.askCaptureStart = [questions = captureQuestions](QWidget*, const QString& text) {
            questions->asked.push_back(text);
            return questions->answer;
        };
    }
    window = std::make_unique<ServerFrm>(std::move(platform));
    ui = &window->controls();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("the window under test was not exposed");
}

WindowUnderTest::~WindowUnderTest() = default;

void listenOn(WindowUnderTest& w, quint16 port)
{
    w.ui->txtPort->setText(QString::number(port));
    QTest::mouseClick(w.ui->bntListen, Qt::LeftButton);
}

quint16 listenUnderTcp(WindowUnderTest& w)
{
    QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
    const quint16 port = freeTcpPort();
    listenOn(w, port);
    return port;
}
