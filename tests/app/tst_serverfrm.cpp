#include "codes/CodeList.h"
#include "codes/CodeListView.h"
#include "platform/LogPane.h"
#include "support/Loopback.h"
#include "support/WindowUnderTest.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

class TestServerFrm : public QObject {
    Q_OBJECT

private slots:
    void theWindowOpensAsDesigned()
    {
        WindowUnderTest w;
        QCOMPARE(w->windowTitle(), QStringLiteral("Servidor"));
        QCOMPARE(w->size(), QSize(994, 587));
        QCOMPARE(w->findChildren<QWidget*>(QString(), Qt::FindChildrenRecursively).size() >= 44,
                 true);
        QCOMPARE(QApplication::focusWidget(), w->txtPort);

        for (QLineEdit* box :
             {w->txtPort, w->txtIP, w->txtPort2, w->MaskEdBox1, w->MaskEdBox2, w->MaskEdBox3,
              w->MaskEdBox4, w->MaskEdBox5, w->MaskEdBox6, w->txtSend, w->txtSend2, w->Text1})
            QCOMPARE(box->text(), QString());
        for (LogPane* pane : {w->Text2, w->Text3, w->Text4})
            QCOMPARE(pane->length(), 0);
        for (QRadioButton* option : {w->Option1, w->Option2, w->Option3, w->Option4, w->Option5})
            QVERIFY(!option->isChecked());
        QCOMPARE(w->codeList().rowCount(), 0);
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
    }

    void controlsStandWhereTheDesignPutsThem_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("Frame3") << "Frame3"
                                << "ServerFrm"
                                << "Puerto Serial" << QRect(664, 0, 321, 281);
        QTest::newRow("ListView1") << "ListView1"
                                   << "ServerFrm"
                                   << "" << QRect(8, 296, 849, 281);
        QTest::newRow("Frame4") << "Frame4"
                                << "ServerFrm"
                                << "Códigos ASCII" << QRect(872, 360, 113, 89);
        QTest::newRow("bntListen") << "bntListen"
                                   << "Frame1"
                                   << "Poner a la escucha" << QRect(216, 16, 113, 25);
        QTest::newRow("Text3") << "Text3"
                               << "Frame1"
                               << "" << QRect(8, 48, 321, 193);
        QTest::newRow("txtPort2") << "txtPort2"
                                  << "Frame2"
                                  << "" << QRect(248, 16, 49, 25);
        QTest::newRow("Command6") << "Command6"
                                  << "Frame3"
                                  << "Limpiar" << QRect(256, 56, 49, 17);
        QTest::newRow("Option2") << "Option2"
                                 << "Frame5"
                                 << "UDP" << QRect(8, 40, 57, 17);
        QTest::newRow("Option5") << "Option5"
                                 << "Frame4"
                                 << "Serial Port" << QRect(16, 64, 73, 17);
        QTest::newRow("Command5") << "Command5"
                                  << "ServerFrm"
                                  << "Chr" << QRect(912, 456, 65, 25);
    }
    void controlsStandWhereTheDesignPutsThem()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        WindowUnderTest w;
        auto* control = w->findChild<QWidget*>(name);
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName().isEmpty()
                     ? QStringLiteral("ServerFrm")
                     : control->parentWidget()->objectName(),
                 container);
        QCOMPARE(control->geometry(), geometry);
        if (auto* frame = qobject_cast<QGroupBox*>(control))
            QCOMPARE(frame->title(), caption);
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            QCOMPARE(button->text(), caption);
    }

    // A frame's font is its caption's alone: what stands in the frame keeps the window's.
    void onlyTheUpperFramesCaptionsAreLargeAndBold()
    {
        WindowUnderTest w;
        for (QGroupBox* frame : {w->Frame1, w->Frame2, w->Frame3}) {
            QCOMPARE(frame->font().pointSize(), 12);
            QCOMPARE(frame->font().bold(), true);
        }
        QCOMPARE(w->Frame1->font().family(), QStringLiteral("Arial"));
        QCOMPARE(w->Frame3->font().family(), QStringLiteral("MS Sans Serif"));
        for (QWidget* inside : std::initializer_list<QWidget*>{
                 w->Label2, w->txtPort, w->bntListen, w->Text3, w->Label4, w->Text4, w->Label1,
                 w->Command2, w->Text2, w->Frame4, w->Frame5, w->Option1, w->ListView1}) {
            QCOMPARE(inside->font().pointSize(), 8);
            QVERIFY2(!inside->font().bold(), qPrintable(inside->objectName()));
        }
    }

    void tabWalksTheDesignedOrder()
    {
        WindowUnderTest w;
        const QStringList expected = {
            "bntListen",  "txtSend",  "bntSend",    "txtIP",      "txtPort2",   "bntConnect",
            "txtSend2",   "bntSend2", "MaskEdBox1", "MaskEdBox5", "MaskEdBox2", "MaskEdBox3",
            "MaskEdBox4", "Command2", "Text1",      "Command3",   "Command1",   "Text2",
            "Text3",      "Text4",    "Command4",   "Command5",   "MaskEdBox6", "ListView1",
        };
        QCOMPARE(QApplication::focusWidget(), w->txtPort);
        for (const QString& next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        }
    }

    void maskedFieldsTakeOnlyWhatTheirMaskAllows_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("value");
        QTest::newRow("port: digits only") << "txtPort"
                                           << "a1b2"
                                           << "12";
        QTest::newRow("port: five at most") << "txtPort2"
                                            << "1234567"
                                            << "12345";
        QTest::newRow("speed: six, not seven") << "MaskEdBox5"
                                               << "9216001"
                                               << "921600";
        QTest::newRow("data bits: one") << "MaskEdBox2"
                                        << "87"
                                        << "8";
        QTest::newRow("parity: one") << "MaskEdBox3"
                                     << "x4"
                                     << "4";
        QTest::newRow("stop bits: one") << "MaskEdBox4"
                                        << "12"
                                        << "1";
        QTest::newRow("com port: three") << "MaskEdBox1"
                                         << "0035"
                                         << "003";
        QTest::newRow("code: no letters") << "MaskEdBox6"
                                          << "A"
                                          << "";
        QTest::newRow("address: 15 characters") << "txtIP"
                                                << "192.168.100.200x"
                                                << "192.168.100.200";
        QTest::newRow("address: names too") << "txtIP"
                                            << "mi-equipo"
                                            << "mi-equipo";
    }
    void maskedFieldsTakeOnlyWhatTheirMaskAllows()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, value);
        WindowUnderTest w;
        auto* edit = w->findChild<QLineEdit*>(field);
        QVERIFY(edit);
        QCOMPARE(edit->text(), QString());
        edit->setFocus();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), value);
    }

    // Enter in an outgoing box is a click on its "Enviar": here each is refused (no transport
    // chosen, serial port closed) and says so the same way. What was refused did not go out,
    // so Up has nothing to recall.
    void enterInAnOutgoingBoxIsItsEnviar_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("enviar");
        QTest::newRow("server") << "txtSend"
                                << "bntSend";
        QTest::newRow("client") << "txtSend2"
                                << "bntSend2";
        QTest::newRow("serial") << "Text1"
                                << "Command3";
    }
    void enterInAnOutgoingBoxIsItsEnviar()
    {
        QFETCH(QString, box);
        QFETCH(QString, enviar);
        WindowUnderTest w;
        auto* edit = w->findChild<QLineEdit*>(box);
        auto* button = w->findChild<QPushButton*>(enviar);
        QVERIFY(edit && button);
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("hola"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(w.messages->shown.size(), std::size_t(1));
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(w.messages->shown.size(), std::size_t(2));
        QCOMPARE(w.messages->shown[0], w.messages->shown[1]);
        QCOMPARE(edit->text(), QStringLiteral("hola"));

        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("otro"));
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QStringLiteral("otro"));
    }

    void hoverHintsShowTheStoredTexts()
    {
        WindowUnderTest w;
        QCOMPARE(w->MaskEdBox3->toolTip(), QStringLiteral("0=n 1=p 2=i 3=m 4=e"));
        QCOMPARE(w->bntListen->toolTip(), QStringLiteral("Connect"));
        QCOMPARE(w->bntConnect->toolTip(), QStringLiteral("Connect"));
    }

    void resizingMovesNothing()
    {
        WindowUnderTest w;
        const QRect before = w->ListView1->geometry();
        const QRect frame = w->Frame2->geometry();
        w->resize(1400, 900);
        QCoreApplication::processEvents();
        QCOMPARE(w->ListView1->geometry(), before);
        QCOMPARE(w->Frame2->geometry(), frame);
    }

    void closingTheWindowClosesBothSocketsWithoutAWord()
    {
        WindowUnderTest w;
        QTest::mouseClick(w->Option1, Qt::LeftButton);
        const quint16 port = freeTcpPort();
        w->Winsock1->setLocalPort(port);
        w->Winsock1->Listen();
        QCOMPARE(w->Winsock1->state(), SocketControl::Listening);
        QVERIFY(w->close());
        QCOMPARE(w->Winsock1->state(), SocketControl::Closed);
        QCOMPARE(w->Winsock2->state(), SocketControl::Closed);
        QVERIFY(w.messages->shown.empty());
    }
};

QTEST_MAIN(TestServerFrm)
#include "tst_serverfrm.moc"
