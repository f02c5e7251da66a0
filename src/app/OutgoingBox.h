#pragma once

#include "app/SentHistory.h"

#include <QObject>

#include <functional>

class QAbstractButton;
class QActionGroup;
class QLineEdit;
class QPoint;

// The keys and options of an outgoing box (txtSend, txtSend2, Text1), as operators of
// terminals expect them: Enter clicks the box's "Enviar", so it runs the same handler through
// the same dispatch; Up and Down walk the texts sent from the box (SentHistory). Its context
// menu, after the editing entries, chooses how the box is read ("Texto", "Secuencias de
// escape", "Hexadecimal") and the line end every send from it gets ("Fin de línea"); the
// choice is the box's format (OutgoingText), told in its hover text, for the window's life.
//
// The window routes the "Enviar" handler through send(), which remembers the box's text when
// the handler took it: every send handler empties its box once the text went out, and leaves
// it as it was when the send was refused. Owned by the box.
class OutgoingBox : public QObject {
    Q_OBJECT

public:
    OutgoingBox(QLineEdit& box, QAbstractButton& enviar);

    void send(const std::function<void()>& enviarHandler);
    // Remembers a text sent from the box later than its handler returned (a datagram that
    // waited for its host name).
    void remember(const QString& sent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void recall(const std::optional<QString>& text);
    void showMenu(const QPoint& globalPosition);
    void chooseFormat();

    QLineEdit& m_box;
    SentHistory m_history;
    bool m_recalling = false;
    QActionGroup* m_modes;
    QActionGroup* m_lineEnds;
};
