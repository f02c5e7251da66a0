#pragma once

#include <QByteArrayView>
#include <QString>

// What assistive technology reads for a pane's bytes: each byte as the character it is shown
// as (ByteGlyphs::displayChar: control characters as their pictures, so that a NUL does not
// cut the text short), line breaks as themselves, one character per byte so that offsets stay
// those of the bytes. Made through a table of the 256 values, built once: no decoding and no
// look-up of character properties per byte.
namespace ShownText {

char16_t character(unsigned char byte);
QString of(QByteArrayView bytes);

} // namespace ShownText
