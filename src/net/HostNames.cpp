#include "net/HostNames.h"

#include "base/ControlError.h"

#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// A name as the hosts file and name servers compare it: without the final dot of an absolute
// name, letter case ignored.
bool sameName(QStringView listed, QStringView typed)
{
    if (typed.endsWith(u'.'))
        typed.chop(1);
    return listed.compare(typed, Qt::CaseInsensitive) == 0;
}

// The hosts file's lines: an address, then the names it goes by; "#" starts a comment. Only the
// lines where the name occurs are read field by field: blocking lists run to a million lines,
// and a send must not wait on them.
QList<QHostAddress> hostsFileAddresses(const QString& host, const QString& hostsFile)
{
    QList<QHostAddress> found;
    QFile file(hostsFile);
    if (hostsFile.isEmpty() || !file.open(QIODevice::ReadOnly))
        return found;
    const QByteArray text = file.readAll().toLower();
    QByteArray name = host.toLower().toLatin1();
    if (name.endsWith('.'))
        name.chop(1);
    if (name.isEmpty())
        return found;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (qsizetype at = text.indexOf(name); at >= 0;) {
        const qsizetype begin = text.lastIndexOf('\n', at) + 1;
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        QString line = QString::fromLatin1(text.mid(begin, end - begin));
        line.truncate(line.indexOf(u'#') < 0 ? line.size() : line.indexOf(u'#'));
        const QStringList fields = line.split(blanks, Qt::SkipEmptyParts);
        QHostAddress address;
        if (fields.size() >= 2 && address.setAddress(fields.first()) &&
            std::any_of(fields.begin() + 1, fields.end(),
                        [&](const QString& listed) { return sameName(listed, host); }) &&
            !found.contains(address)) {
            found.append(address);
        }
        at = text.indexOf(name, end + 1);
    }
    return found;
}

} // namespace

void checkHostText(const QString& host)
{
    if (host.trimmed().isEmpty())
        throw ControlError(
            QStringLiteral("No se indicó el equipo remoto: escriba su dirección IP o su nombre."));
    if (QHostAddress().setAddress(host))
        return;
    static const QRegularExpression digitsAndDots(QStringLiteral("^[0-9.]+$"));
    if (digitsAndDots.match(host).hasMatch()) {
        throw ControlError(QStringLiteral("%1 no es una dirección IP válida.").arg(quoted(host)));
    }
    // Labels of letters, digits, hyphens and underscores, dot-separated; at most 253 characters.
    static const QRegularExpression hostName(
        QStringLiteral("^(?=.{1,253}\\.?$)[A-Za-z0-9_](?:[A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?"
                       "(?:\\.[A-Za-z0-9_](?:[A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?)*\\.?$"));
    if (!hostName.match(host).hasMatch()) {
        throw ControlError(
            QStringLiteral("%1 no es una dirección IP ni un nombre de equipo válido.")
                .arg(quoted(host)));
    }
}

QList<QHostAddress> knownAddresses(const QString& host, const QString& hostsFile)
{
    QHostAddress literal;
    if (literal.setAddress(host))
        return {literal};
    // "localhost" is this machine whatever any file or server says.
    if (sameName(u"localhost", host))
        return {QHostAddress(QHostAddress::LocalHost)};
    return hostsFileAddresses(host, hostsFile);
}

QString systemHostsFile()
{
#if defined(Q_OS_WIN)
    return QDir::fromNativeSeparators(
               qEnvironmentVariable("SystemRoot", QStringLiteral("C:\\Windows"))) +
           QStringLiteral("/System32/drivers/etc/hosts");
#else
    return QStringLiteral("/etc/hosts");
#endif
}

QHostAddress preferredAddress(const QList<QHostAddress>& addresses)
{
    const auto v4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress& a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    if (v4 != addresses.end())
        return *v4;
    return addresses.isEmpty() ? QHostAddress() : addresses.first();
}

SystemNameServer::~SystemNameServer()
{
    forget();
}

void SystemNameServer::ask(const QString& name, Answer answer)
{
    forget();
    const int question = ++m_question;
    m_lookupId =
        QHostInfo::lookupHost(name, &m_context, [this, question, answer](const QHostInfo& info) {
            if (question != m_question)
                return;
            m_lookupId = -1;
            answer(info.addresses());
        });
}

void SystemNameServer::forget()
{
    ++m_question;
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(std::exchange(m_lookupId, -1));
}
