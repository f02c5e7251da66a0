#pragma once

#include <QStringView>

class QLineEdit;

// Makes a line edit behave as a masked field: every "#" of the mask is a place for one decimal
// digit 0-9 (no other digit: "²", "٣" or a full-width "３" is not one), unfilled places show
// "_", and the field's text is exactly the digits typed ("" while untouched). An empty mask
// takes any characters up to maxLength.
//
// What the operator types is what the field holds: a click into a masked field puts the caret
// right after what is already typed (a digit typed into a blank place further on would leave
// the places before it empty, and the digits after it no room), unless the click selected
// something. A keystroke the field refuses (a letter for a digit place, a character past the
// last place) beeps and flashes the field instead of vanishing without a word. Text pasted
// (Ctrl+V, Shift+Insert, the context menu, the middle button) goes in whole or not at all:
// what does not fit is refused the same way, never cut to fit; a masked field first drops the
// blanks and line ends around a pasted number. Text is not dropped into a field.
void makeMaskedField(QLineEdit& field, QStringView mask, int maxLength);
