#pragma once

class CodeList;
class CodeListView;
class FindBar;
class SessionRecord;

// The code list's find bar: it searches the bytes of the rows the list shows (since its last
// "Limpiar lista"), a link's rows read as one stream, so a serial line received one character
// per row is found across its rows; the match's rows are selected.
FindBar* installCodeListFind(CodeListView& view, const CodeList& list, SessionRecord& record);
