#pragma once

// Lets screen readers and other accessibility tools read a LogPane like any read-only
// multi-line text box. Safe to call more than once.
void installLogPaneAccessibility();
