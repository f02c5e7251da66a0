#pragma once

#include "codes/CodeListModel.h"

#include <QByteArrayView>
#include <QString>

#include <memory>

class CodeListView;

// The shared list of received chunks, one row of character codes per chunk, from all three
// links, as the session record holds them. AddCodeRow is its only writer; nothing reads the
// list back but the operator.
class CodeList {
public:
    // A list over the window's record; without one, over a record of its own.
    CodeList(CodeListView& listView1, SessionRecord& record);
    explicit CodeList(CodeListView& listView1);
    ~CodeList();

    // One row for one received chunk, of any length, empty included. The row exists when this
    // returns; the view shows it at the next turn of the event loop.
    void AddCodeRow(QByteArrayView text);

    // Every row of the session, from the record's first (whatever the list shows).
    qint64 rowCount() const { return m_model.rows().count(); }
    const CodeRows& rows() const { return m_model.rows(); }

    // "Limpiar lista": the list shows only the rows that arrive from now on; the record, and
    // so rowCount and rows, keep every row.
    void clear() { m_model.clear(); }
    // The first row of the session that the list shows.
    qint64 firstRow() const { return m_model.firstRow(); }

    // "Decimal" or "Hexadecimal": how the list shows and copies its rows.
    void setCodeBase(CodeBase base) { m_model.setCodeBase(base); }
    CodeBase codeBase() const { return m_model.codeBase(); }

    // "Agrupar la serie por línea": how the list shows, copies and saves the serial rows.
    void setGroupedByLine(bool grouped) { m_model.setGroupedByLine(grouped); }
    bool groupedByLine() const { return m_model.groupedByLine(); }

    // "Mostrar hora" / "Hora relativa": the "Hora" column and what rows copy.
    void setTimes(PaneTimes::Mode mode) { m_model.setTimes(mode); }
    PaneTimes::Mode times() const { return m_model.times(); }

private:
    std::unique_ptr<SessionRecord> m_ownRecord;
    CodeListModel m_model;
};
