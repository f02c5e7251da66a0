#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The one error a refused control operation raises: a socket or serial call the control will
// not carry out, a field whose text is not a number, a code with no character. It carries the
// Spanish description the operator is shown, which names what was wrong (the port, the host,
// the field) — never a bare error number.
class ControlError : public std::exception {
public:
    explicit ControlError(QString description);

    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override;

private:
    QString m_description;
    QByteArray m_utf8;
};

// What the operator typed, set off in a description the Spanish way: «text».
QString quoted(QStringView text);
