#include "codes/CodeList.h"

#include "codes/CodeListView.h"

CodeList::CodeList(CodeListView& listView1)
{
    listView1.setModel(&m_model);
}

void CodeList::AddCodeRow(QByteArrayView text)
{
    m_model.append(text);
}
