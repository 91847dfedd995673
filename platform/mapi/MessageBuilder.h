#pragma once
// One outgoing message as an RFC 5322/MIME file. The attachments are looked
// at when the message is prepared, so a missing or unreadable file is known
// before anything is written; they are opened again one at a time while the
// message is written, so their number is not bounded by open files.
#include "platform/mapi/MapiDefs.h"
#include "platform/mapi/MimeHeaders.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

namespace mapistandin {

struct AttachmentFile
{
    QByteArray path; // as the caller gave it: a file name need not be UTF-8
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
    // Whole "Name: value" lines the sender asks for, each a list field or
    // Precedence; nothing that would stand in for a field of our own.
    QVector<QByteArray> extraFields;
};

// The lines of a sent message's type after its first: the extra fields a
// caller may ask for (see MAPISendMail).
QVector<QByteArray> extraFieldsOf(const char *messageType);

class PreparedMessage
{
public:
    // A MAPI code: MAPI_E_UNKNOWN_RECIPIENT for an address no header can
    // hold, MAPI_E_FAILURE for an extra field not allowed or malformed,
    // MAPI_E_ATTACHMENT_NOT_FOUND or MAPI_E_ATTACHMENT_OPEN_FAILURE
    // for an attachment that cannot be read.
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
