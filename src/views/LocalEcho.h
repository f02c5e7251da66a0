#pragma once

#include "views/SentRanges.h"

#include <QByteArrayView>
#include <QObject>

class LogPane;

// "Eco local": what a link sent, shown in its pane as well, told apart from what arrived. The
// sent bytes go into the pane as they went out on the line, between the received ones, and
// are marked sent (SentRanges): the pane draws them in a colour of their own and tells screen
// readers that colour. They are the pane's text, not received bytes: no code row is made of
// them and the session's CSV does not list them.
//
// Off until the operator turns it on; it lasts as long as the window. It must go before its
// pane does.
class LocalEcho : public QObject {
    Q_OBJECT

public:
    explicit LocalEcho(LogPane& pane, QObject* parent = nullptr);
    ~LocalEcho() override;

    void setOn(bool on) { m_on = on; }
    bool isOn() const { return m_on; }

    // Bytes that went out on the link: shown in the pane, when on.
    void sent(QByteArrayView bytes);

    const SentRanges& ranges() const { return m_ranges; }

private:
    LogPane& m_pane;
    SentRanges m_ranges;
    bool m_on = false;
};
