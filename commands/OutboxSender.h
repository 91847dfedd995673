#pragma once
// Sends every message of the Outbox through the mail system the settings
// name, one connection for all, and files each accepted one in "Sent
// Items". A recipient the server refuses for good is logged and, when
// delivery failures are processed, counted as one bounce as the folder
// check would count it. A message put off (a 4xx reply, a connection that
// failed) stays in the Outbox for a later run; a file that is not a message
// is named and left where it is. OutboxJournal keeps any message from going
// out twice after the server accepted it.
#include "core/Progress.h"
#include "mail/OutboxJournal.h"
#include "platform/smtp/Transport.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class EntryRules;
class LineList;
class OutboxMessage;
struct Settings;

class OutboxSender
{
public:
    struct Callbacks
    {
        ProgressFn progress;
        StopQuery stop; // stops after the message under way
        // The account's password; empty when the user gave none.
        std::function<QString()> password;
        // A wrong password: forget the one given.
        std::function<void()> passwordRefused;
        // The server's certificate is not trusted: true when the user
        // trusts it for this server (and keeps the fingerprint).
        std::function<bool(const QString &server, const QString &subject, const QString &fingerprint)> trust;
    };
    using TransportFactory
        = std::function<std::unique_ptr<platform::smtp::Transport>(const Settings &settings, const QString &password)>;

    struct Result
    {
        int sent = 0; // accepted by the mail system this run
        int filed = 0; // accepted earlier, filed now without sending
        int left = 0; // still in the Outbox
        int skipped = 0; // files that are not messages that can be sent
        int refused = 0; // recipients refused for good
        bool retry = false; // some were put off: worth trying again later
        bool stopped = false; // by the user
        QString failure; // what stopped the run, naming the server or file
        QStringList problems; // each file skipped, and why
    };

    // bounces is null when no list is open; the log gets a line for each
    // message and each recipient refused.
    OutboxSender(const Settings &settings, QString storeRoot, QString senderAddress, QString journalDir, LineList &log,
                 EntryRules *bounces);
    ~OutboxSender();

    void setCallbacks(Callbacks callbacks) { m_callbacks = std::move(callbacks); }
    // Instead of the settings' method; for tests.
    void setTransportFactory(TransportFactory factory) { m_factory = std::move(factory); }

    // The number of messages waiting in the Outbox of storeRoot.
    static int waiting(const QString &storeRoot);

    Result run();

private:
    enum class Step { Next, Again, Stop };
    Step sendOne(OutboxMessage &message, const QString &file, OutboxJournal &journal, Result &result);
    bool connect(Result &result);
    void pruneJournal(OutboxJournal &journal, const QStringList &files);
    void forgetStaleRecords(const QStringList &files);
    void file(const QString &path, const OutboxJournal::Identity &id, OutboxJournal &journal, Result &result);
    platform::smtp::Submission submitOnce(OutboxMessage &message, const QByteArray &sender,
                                          const QList<QByteArray> &recipients);
    // One transaction per recipient, from the first not yet done, each with
    // its own return address when the settings ask for it; recipients
    // refused are counted as they go.
    platform::smtp::Submission submitEach(OutboxMessage &message, const QByteArray &sender,
                                          const OutboxJournal::Identity &id, OutboxJournal &journal, int done,
                                          Result &result);
    void countRefused(const platform::smtp::Submission &s, Result &result);

    const Settings &m_settings;
    QString m_storeRoot;
    QString m_sender;
    QString m_journalDir;
    LineList &m_log;
    EntryRules *m_bounces;
    Callbacks m_callbacks;
    TransportFactory m_factory;
    std::unique_ptr<platform::smtp::Transport> m_transport;
    QString m_sentDir;
    QString m_trusted; // a fingerprint trusted during this run
};
