#include "views/MessageBoxMessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestMessageBoxMessages : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvane")); }

    // The real message: modal, titled with the application's name, one OK button, the look asked
    // for; show() returns once the operator has dismissed it.
    void aMessageIsAModalBoxWithOneOkButton_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("look");
        QTest::newRow("critical") << int(MessageIcon::Critical) << int(QMessageBox::Critical);
        QTest::newRow("exclamation") << int(MessageIcon::Exclamation) << int(QMessageBox::Warning);
        QTest::newRow("none") << int(MessageIcon::None) << int(QMessageBox::NoIcon);
    }
    void aMessageIsAModalBoxWithOneOkButton()
    {
        QFETCH(int, icon);
        QFETCH(int, look);
        QWidget window;
        window.show();
        MessageBoxMessages messages(&window);
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = true;
            QCOMPARE(box->windowTitle(), QStringLiteral("Quorvane"));
            QCOMPARE(box->text(), QStringLiteral("Elija un Protocolo"));
            QCOMPARE(int(box->icon()), look);
            QCOMPARE(box->buttons().size(), 1);
            QCOMPARE(box->standardButton(box->buttons().first()), QMessageBox::Ok);
            QVERIFY(box->isModal());
            box->buttons().first()->click();
        });
        messages.show(QStringLiteral("Elija un Protocolo"), MessageIcon(icon));
        QVERIFY(seen);
    }
};

QTEST_MAIN(TestMessageBoxMessages)
#include "tst_messageboxmessages.moc"
