#pragma once

// Lets screen readers and other accessibility tools read a LogPane like any read-only
// multi-line text box, whose text is what the pane shows (control characters as their
// pictures, see ByteGlyphs). Safe to call more than once.
void installLogPaneAccessibility();
