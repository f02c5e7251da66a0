#pragma once

#include <QStringView>

class QLineEdit;

// Makes a line edit behave as a masked field: every "#" of the mask is a place for one decimal
// digit, unfilled places show "_", and the field's text is exactly the digits typed ("" while
// untouched). An empty mask takes any characters up to maxLength.
void makeMaskedField(QLineEdit& field, QStringView mask, int maxLength);
