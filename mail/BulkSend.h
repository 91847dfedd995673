#pragma once
// The send-to-list loop without its windows: which address goes into which
// message, when a message is full, and where the user may stop it.
#include <QString>
#include <QStringList>

class BulkSendSteps
{
public:
    virtual ~BulkSendSteps() = default;

    // Puts the address into the message being collected: alone with the
    // fixed To recipients when each address has a message of its own, else
    // among the blind copies. False when it did not resolve.
    virtual bool addAddress(const QString &address, bool ownMessage) = 0;
    virtual void progress(int position, int total, const QString &address) = 0;
    // Lets the user's clicks and keys through.
    virtual void pumpEvents() = 0;
    // The user asked to stop and, asked again, confirmed it.
    virtual bool breakConfirmed() = 0;
    // Sends the collected message and starts a new one; throws, ending the
    // loop, when it could not be sent.
    virtual void sendMessage() = 0;
    // The message just sent took the addresses up to lastAddress (blank and
    // unresolved ones included), done of them in all so far.
    virtual void messagePlaced(const QString & /*lastAddress*/, int /*done*/) { }
};

struct BulkSendResult
{
    int done = 0;
    int messages = 0;
    bool broken = false;
};

// With a maximum of 1 (or less) each address gets a message of its own;
// otherwise messages carry up to maximum addresses. The stop is offered
// before an address is taken, so a stopped send leaves nothing half
// collected. A message none of whose addresses resolved is not sent.
BulkSendResult runBulkSend(const QStringList &addresses, int maximum, BulkSendSteps &steps);
