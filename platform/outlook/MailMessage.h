#pragma once
// One message file of the local mail store, parsed once into the properties
// the program reads from a mail item: subject, body, sent time, sender and
// recipients. A file that is not a proper message yields what can be found.
// The costly fields (subject, sent time, recipients, body) are kept as the
// message's bytes and decoded when first asked: most readers ask for a few.
// The decoding caches them, so one message is not for two threads at once.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <stdexcept>

namespace platform::outlook {

struct MailAddress
{
    QString name;
    QString address;

    bool isEmpty() const { return name.isEmpty() && address.isEmpty(); }
    friend bool operator==(const MailAddress &, const MailAddress &) = default;
};

// The file could not be read at all (vanished, no permission, a directory).
class MessageReadError : public std::runtime_error
{
public:
    explicit MessageReadError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

class MailMessage
{
public:
    MailMessage() = default;

    // Throws MessageReadError when the file cannot be read; never for its content.
    static MailMessage fromFile(const QString &path);
    // Reads the file once. When `isOther` says by its first bytes that it
    // holds no message, its bytes go to `other` and the message is empty.
    static MailMessage fromFile(const QString &path, bool (*isOther)(QByteArrayView head), QByteArray *other);
    static MailMessage fromBytes(const QByteArray &raw);
    // An RFC 5322 date, in local time (or UTC, which is cheaper to make
    // where only the instant matters); invalid when unparseable.
    static QDateTime parseDate(const QByteArray &text, Qt::TimeSpec timeSpec = Qt::LocalTime);

    // Encoded words decoded; each fold of a folded header is one blank.
    QString subject() const;
    // The Message-ID header as written, its folds joined by one blank.
    QString messageId() const { return m_messageId; }
    // The first text/plain part that is no attachment, else the first HTML
    // part rendered as text; line breaks are CR LF whatever the file uses.
    QString body() const;
    // From the Date header, in local time; invalid when missing or unparseable.
    QDateTime sentOn() const;
    // The first mailbox of Reply-To, else of From; empty when there is none.
    MailAddress replyTo() const { return m_replyTo.isEmpty() ? m_from : m_replyTo; }
    MailAddress from() const { return m_from; }
    // To, then Cc, in header order.
    QList<MailAddress> recipients() const;
    // The per-recipient fields of a delivery report (RFC 3464, RFC 6533) as
    // text, or the text part older systems send in their place inside a
    // report; empty when the message has neither. Whether it really holds
    // recipient fields is for the reader of the text to judge.
    QString deliveryStatus() const { return m_deliveryStatus; }
    // The message's own header block as written, folds kept; for telling a
    // mail system's notice from a person's mail.
    QString headerText() const;
    // The header block of the message a notice returns (an attached message,
    // or a part of its headers alone); empty when it returns none.
    QString returnedHeaders() const;

private:
    friend class MailMessageDecoder;

    QString m_messageId;
    MailAddress m_from;
    MailAddress m_replyTo;
    // Unfolded header values; a null date is a missing Date header.
    QByteArray m_subjectField;
    QByteArray m_dateField;
    QList<QByteArray> m_recipientFields; // the To values, then the Cc values
    // The body part's content with its transfer encoding undone, as text of
    // its charset label; HTML is rendered as text when asked.
    mutable QByteArray m_bodyBytes; // dropped once decoded
    QByteArray m_bodyCharset;
    bool m_bodyHtml = false;
    struct Decoded
    {
        std::optional<QString> subject;
        std::optional<QString> body;
        std::optional<QDateTime> sentOn;
        std::optional<QList<MailAddress>> recipients;
    };
    mutable Decoded m_decoded;
    QString m_deliveryStatus;
    // Kept as bytes: only failure notices ever read them as text.
    QByteArray m_headerText;
    QByteArray m_returnedHeaders;
};

} // namespace platform::outlook
