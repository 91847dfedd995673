#pragma once
// Reads the recipient fields of a standard delivery report (RFC 3464, and
// RFC 6533 for UTF-8 addresses): one block of fields per recipient, each
// with an Action and the recipient's address.
#include <QString>
#include <QStringList>

struct DeliveryReport
{
    // At least one block names a recipient and what became of it. Text
    // without such a block is no report, whatever part it came from.
    bool present = false;
    // The addresses of the blocks whose action is "failed" (or an older
    // system's "failure" or "error"), in block order,
    // duplicates kept.
    QStringList failed;
    // A block says delivery is still being tried.
    bool delayed = false;
    // A block says the message was delivered, relayed or expanded.
    bool delivered = false;
};

DeliveryReport readDeliveryReport(const QString &statusText);

// Each address once, compared ignoring letter case as the list does;
// the first met is kept, in order.
QStringList distinctAddresses(const QStringList &addresses);
