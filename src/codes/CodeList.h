#pragma once

#include "codes/CodeListModel.h"

#include <QByteArrayView>
#include <QString>

class CodeListView;

// The shared list of received chunks, one row of character codes per chunk, from all three
// links. AddCodeRow is its only writer; nothing reads the list back but the operator.
class CodeList {
public:
    explicit CodeList(CodeListView& listView1);

    // One row for one received chunk, of any length, empty included. The row exists when this
    // returns; the view shows it at the next turn of the event loop.
    void AddCodeRow(QByteArrayView text);

    qint64 rowCount() const { return m_model.rows().count(); }
    QString rowText(qint64 row) const { return codeRowText(m_model.rows().bytes(row)); }
    const CodeRows& rows() const { return m_model.rows(); }

private:
    CodeListModel m_model;
};
