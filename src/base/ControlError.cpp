#include "base/ControlError.h"

#include <utility>

ControlError::ControlError(QString description)
    : m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{
}

const char* ControlError::what() const noexcept
{
    return m_utf8.constData();
}

QString quoted(QStringView text)
{
    return u'«' + text.toString() + u'»';
}
