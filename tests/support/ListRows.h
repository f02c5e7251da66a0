#pragma once

#include "codes/CodeList.h"

#include <QString>

// A row of the session as the list shows it in decimal, from the record's first row on
// (whatever the list shows after "Limpiar lista").
inline QString rowText(const CodeList& list, qint64 row)
{
    return codeRowText(list.rows().bytes(row));
}
