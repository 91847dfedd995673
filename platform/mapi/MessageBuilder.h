#pragma once
// One outgoing message as an RFC 5322/MIME file. The attachments are opened
// when the message is prepared, so a missing or unreadable file is known
// before anything is written.
#include "platform/mapi/MapiDefs.h"

#include <QString>
#include <QVector>

#include <memory>

namespace mapistandin {

struct Mailbox
{
    QString name; // may be empty
    QString address;
};

struct AttachmentFile
{
    QString path;
    QString fileName; // the name the recipient sees
};

struct OutgoingMessage
{
    Mailbox from;
    QString subject;
    QString body;
    QVector<Mailbox> to, cc, bcc;
    QVector<AttachmentFile> attachments;
    bool receiptRequested = false;
};

class PreparedMessage
{
public:
    // A MAPI code: MAPI_E_ATTACHMENT_NOT_FOUND or MAPI_E_ATTACHMENT_OPEN_FAILURE
    // when an attachment cannot be read.
    static ULONG prepare(const OutgoingMessage &message, std::unique_ptr<PreparedMessage> *out);
    ~PreparedMessage();
    PreparedMessage(const PreparedMessage &) = delete;
    PreparedMessage &operator=(const PreparedMessage &) = delete;

    // Writes the whole message to an open file; a MAPI code.
    ULONG writeTo(int fd);

private:
    PreparedMessage();
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The MAPI code for a failed file operation.
ULONG codeForErrno(int error);

} // namespace mapistandin
