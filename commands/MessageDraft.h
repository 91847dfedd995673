#pragma once
// The message a mailing sends, as the user put it together: every message
// of the mailing carries it, with its share of the list's addresses.
#include <QString>
#include <QStringList>

struct MessageDraft
{
    QStringList to, cc; // the extra recipients of every message
    QStringList bcc; // the draft's own blind copies
    QStringList attachments;
    QString subject;
    QString text;
    bool receipt = false;

    bool operator==(const MessageDraft &) const = default;
};
