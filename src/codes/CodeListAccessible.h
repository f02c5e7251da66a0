#pragma once

// Lets screen readers and other accessibility tools read the code list as they read Qt's own
// list views: a list with its row count, one item per row named by the row's text, the current
// row as the focused item and the selected row as selected. Safe to call more than once.
void installCodeListAccessibility();
