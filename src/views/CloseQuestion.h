#pragma once

#include "views/SessionKeeping.h"

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// What the operator answers when closing the window would lose received bytes, or cut a save
// short.
enum class CloseAnswer { Save, CloseWithoutSaving, Cancel };

// Asks that question with its three buttons, "Guardar…", "Cerrar sin guardar" and "Cancelar",
// and waits for the answer. The real one is a message box over the window; tests answer
// themselves.
using AskClose = std::function<CloseAnswer(QWidget* parent, const QString& text)>;
AskClose askCloseWithMessageBox();

// The question's text: what would be lost (how many bytes and rows, since when) and which
// saves are still being written, with what each button does then.
QString closeQuestionText(const SessionKeeping::Unkept& unkept, const QStringList& saving);
