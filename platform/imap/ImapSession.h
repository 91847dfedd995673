#pragma once
// One connection to an IMAP account: the commands the mail-client facade
// needs, each answered from the library's parsed responses. Every failure is
// an ImapError that names the server.
#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

namespace platform::imap {

enum class Security { SslTls, StartTls, None };

struct ServerConfig
{
    QString host;
    quint16 port = 993;
    Security security = Security::SslTls;
    QString user;
    QString password;
    // SHA-256 of a certificate the user chose to trust for this server, as
    // ServerCertificate::fingerprint gives it; empty trusts only valid ones.
    QString trustedFingerprint;
    int timeoutSeconds = 30;
};

class ImapError : public std::runtime_error
{
public:
    enum class Kind { Connection, Login, Certificate, Server, TooLarge, Insecure };
    ImapError(Kind kind, const QString &message, QString subject = {}, QString fingerprint = {})
        : std::runtime_error(message.toStdString())
        , m_kind(kind)
        , m_subject(std::move(subject))
        , m_fingerprint(std::move(fingerprint))
    {
    }
    Kind kind() const { return m_kind; }
    QString message() const { return QString::fromUtf8(what()); }
    // For an untrusted certificate: whom it names and its SHA-256.
    QString subject() const { return m_subject; }
    QString fingerprint() const { return m_fingerprint; }

private:
    Kind m_kind;
    QString m_subject;
    QString m_fingerprint;
};

struct Mailbox
{
    QByteArray rawName; // as the server names it (modified UTF-7, or UTF-8 once enabled)
    char delimiter = 0; // 0 when the server has no hierarchy
    bool selectable = true;
    QByteArray specialUse; // "Trash", "Sent", "Drafts" ... (RFC 6154), else empty
};

struct OpenedMailbox
{
    quint32 uidValidity = 0;
    QList<quint32> uids; // ascending; none flagged \Deleted
};

// What the facade reads of every message before it reads any body.
struct MessageSummary
{
    quint32 uid = 0;
    qint64 size = 0;
    QByteArray header; // the fields asked for
};

class Session
{
public:
    // Messages larger than this are refused, not read: the whole message
    // is held in memory while it is decoded.
    static constexpr qint64 MaxMessageSize = 128LL << 20;
    // Bodies are fetched in batches of at most this many bytes (by size),
    // so memory stays bounded whatever the mailbox holds.
    static constexpr qint64 BatchBytes = 8LL << 20;
    static constexpr int BatchMessages = 200;

    explicit Session(ServerConfig config);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Connects, checks the certificate and logs in.
    void open();
    QString serverName() const;

    bool hasMove() const { return m_move; }
    bool hasUidPlus() const { return m_uidPlus; }
    // UTF8=ACCEPT (RFC 6855) is on: mailbox names are UTF-8, not modified UTF-7.
    bool utf8Names() const { return m_utf8; }

    QList<Mailbox> list();
    void create(const QByteArray &rawName);
    OpenedMailbox select(const QByteArray &rawName);
    // The given header fields, sizes and UIDs of the selected mailbox's messages.
    void fetchSummaries(const QList<quint32> &uids, const QByteArrayList &fields,
                        const std::function<void(MessageSummary)> &each);
    // Whole messages, unmarked (BODY.PEEK[]); sizes from fetchSummaries
    // make the batches. A message over MaxMessageSize throws TooLarge.
    void fetchMessages(const QList<MessageSummary> &messages,
                       const std::function<void(quint32 uid, QByteArray bytes)> &each);
    // Out of the selected mailbox into target: MOVE, else COPY, flag and
    // UID EXPUNGE of just these, else COPY and flag. Never a plain EXPUNGE.
    void moveTo(const QList<quint32> &uids, const QByteArray &targetRawName);

private:
    struct Impl;
    [[noreturn]] void fail(int code, const QString &doing);
    void ensureUsable() const;
    void connectStream();
    void checkCertificate();
    void enableUtf8();
    // The library's code of the first step that failed.
    int tryMove(const QList<quint32> &uids, const QByteArray &target);
    // Those of uids still in the selected mailbox.
    QList<quint32> present(const QList<quint32> &uids);

    ServerConfig m_config;
    std::unique_ptr<Impl> m_impl;
    bool m_move = false;
    bool m_uidPlus = false;
    bool m_utf8 = false;
};

// A UID set's text ("1:4,7") for one command; the library takes a set.
QList<std::pair<quint32, quint32>> uidRanges(const QList<quint32> &ascendingUids);

} // namespace platform::imap
