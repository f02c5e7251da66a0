#pragma once

class QAbstractButton;
class QLineEdit;

// Enter in a field does what the button of its frame does: it clicks the button, so the
// handler runs through the same wiring and dispatch as a click. A button that cannot be
// pressed ("Conectar" under UDP) cannot be pressed by Enter either: the key beeps and does
// nothing else.
void clickOnEnter(QLineEdit& field, QAbstractButton& button);
