#pragma once

#include "views/ViewActions.h"

class CodeList;
class CodeListView;

// The code list's actions. The list selects one row at a time by hand; "Seleccionar todo"
// (Ctrl+A) selects every row, and "Copiar" (Ctrl+C) copies the whole text of each selected
// row, one per line, in order, as shown. A selection too large for the clipboard is not
// copied: the operator is told to save the list instead. "Decimal" (at first) and
// "Hexadecimal" choose how rows show their codes, "Agrupar la serie por línea" whether the
// serial port's characters show a row each or a row per line; "Limpiar lista" empties the list,
// which then shows the rows that arrive later. "Guardar como…" saves what the offer gives (the
// session as CSV).
ViewActions* installCodeListActions(CodeListView& view, CodeList& list, SaveOffer offer,
                                    AskSavePath ask, OperatorMessages& messages);
