#include "codes/CodeList.h"

#include "codes/CodeListView.h"

CodeList::CodeList(CodeListView& listView1, SessionRecord& record)
    : m_model(record)
{
    listView1.setModel(&m_model);
}

CodeList::CodeList(CodeListView& listView1)
    : m_ownRecord(std::make_unique<SessionRecord>())
    , m_model(*m_ownRecord)
{
    listView1.setModel(&m_model);
}

CodeList::~CodeList() = default;

void CodeList::AddCodeRow(QByteArrayView text)
{
    m_model.append(text);
}
