#include "support/WindowUnderTest.h"

#include "support/peers/Loopback.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

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

bool chooseInBoxMenu(QLineEdit& box, const QStringList& entries)
{
    bool found = true;
    for (const QString& path : entries) {
        bool chosen = false;
        QTimer::singleShot(0, [&path, &chosen] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            QMenu* within = menu;
            QAction* entry = nullptr;
            for (const QString& step : path.split(u'/')) {
                entry = nullptr;
                for (QAction* action : within ? within->actions() : QList<QAction*>()) {
                    if (action->text() == step)
                        entry = action;
                }
                within = entry ? entry->menu() : nullptr;
            }
            menu->close();
            if (entry) {
                entry->trigger();
                chosen = true;
            }
        });
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                                box.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&box, &click);
        found = found && chosen;
    }
    return found;
}

bool setPaneOption(QWidget& pane, const QString& option, bool on)
{
    for (QAction* action : pane.actions()) {
        if (action->text() == option && action->isCheckable()) {
            if (action->isChecked() != on)
                action->trigger();
            return true;
        }
    }
    return false;
}
