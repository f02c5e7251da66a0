#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// Host texts as the operator types them into "IP Remota", and how they become addresses.
//
// A text no host could be called is refused before any name server is asked. Names the machine
// knows by itself (an IP address as typed, "localhost", a name in the hosts file) are answered
// at once; only other names go to a name server, and that answer comes later.

// Throws ControlError, naming the text, when no host could be called so: empty, spaces,
// punctuation, a dotted number that is no IPv4 address. Underscores are let through: hosts
// files hold names such as "plc_1".
void checkHostText(const QString& host);

// The addresses the host text stands for without asking a name server; empty when only a name
// server could tell.
QList<QHostAddress> knownAddresses(const QString& host, const QString& hostsFile);

// This system's hosts file.
QString systemHostsFile();

// The address to use of those a name stands for: its first IPv4 address, else its first.
QHostAddress preferredAddress(const QList<QHostAddress>& addresses);

// Asks a name server about a name, without blocking. One question at a time.
class NameServer {
public:
    using Answer = std::function<void(const QList<QHostAddress>&)>;

    virtual ~NameServer() = default;
    // Starts looking name up; answer is called later (never from inside ask) with the
    // addresses found, none when the name is unknown.
    virtual void ask(const QString& name, Answer answer) = 0;
    // Drops the question asked last: its answer, should it still come, is not given.
    virtual void forget() = 0;
};

// The system's resolver, through QHostInfo.
class SystemNameServer final : public NameServer {
public:
    ~SystemNameServer() override;
    void ask(const QString& name, Answer answer) override;
    void forget() override;

private:
    QObject m_context;
    int m_lookupId = -1;
    // Counts questions, so that the answer to a forgotten one is known and dropped.
    int m_question = 0;
};
