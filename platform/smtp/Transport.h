#pragma once
// Handing one message to the mail system: an SMTP server or this computer's
// sendmail command. A reply about the message itself comes back as a
// Submission; a fault that stops every later message too (the server cannot
// be reached or went away, the login or the certificate is refused) is
// thrown as a TransportError naming the server.
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <stdexcept>

namespace platform::smtp {

// Fills buf with at most size bytes of the message data; 0 at its end,
// -1 when it cannot be read.
using DataSource = std::function<qint64(char *buf, qint64 size)>;

struct RecipientReply
{
    QByteArray address;
    int code = 0; // the server's reply to RCPT TO; 0 when none came
    QString reply;
};

struct Submission
{
    enum class Outcome {
        Accepted, // the server took it for the recipients it did not refuse
        Temporary, // try again later: a 4xx reply
        Refused, // a 5xx reply to the message, or every recipient refused
    };
    Outcome outcome = Outcome::Temporary;
    QString reason; // the server's words when it did not accept
    // One per recipient, in order, where the server answers each.
    QList<RecipientReply> recipients;
};

class TransportError : public std::runtime_error
{
public:
    enum class Kind { Connection, Login, Certificate, Insecure, Setting };
    TransportError(Kind kind, const QString &message, QString subject = {}, QString fingerprint = {})
        : std::runtime_error(message.toStdString())
        , m_kind(kind)
        , m_subject(std::move(subject))
        , m_fingerprint(std::move(fingerprint))
    {
    }
    Kind kind() const { return m_kind; }
    QString message() const { return QString::fromUtf8(what()); }
    // For a certificate not trusted: whom it names and its SHA-256.
    QString subject() const { return m_subject; }
    QString fingerprint() const { return m_fingerprint; }

private:
    Kind m_kind;
    QString m_subject;
    QString m_fingerprint;
};

class Transport
{
public:
    virtual ~Transport() = default;
    // What a message needs: the SMTP data with CR LF line ends, or the
    // local line ends of the file for a command.
    virtual bool wantsCrLf() const = 0;
    virtual QString serverName() const = 0;
    virtual Submission submit(const QByteArray &sender, const QList<QByteArray> &recipients, const DataSource &data)
        = 0;
};

// The return address of one recipient (VERP): the owner's local part, '+',
// the recipient's local part, '=', the recipient's domain, '@', the owner's
// domain. list@example.org for ann@example.net gives
// list+ann=example.net@example.org. Empty when either has no domain or the
// recipient's local part is quoted; that recipient then gets the owner's.
QByteArray verpSender(const QByteArray &owner, const QByteArray &recipient);

// A sender, recipient or setting with a line break or another control
// character would end the command early and start one of its own.
bool holdsControl(const QByteArray &text);
bool holdsControl(const QString &text);

} // namespace platform::smtp
