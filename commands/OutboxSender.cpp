#include "commands/OutboxSender.h"

#include "commands/SendingAccount.h"
#include "core/LineList.h"
#include "core/Settings.h"
#include "mail/OutboxJournal.h"
#include "mail/OutboxMessage.h"
#include "platform/outlook/Maildir.h"
#include "store/EntryRules.h"
#include "store/TableError.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using platform::outlook::Maildir;
using platform::smtp::Submission;
using platform::smtp::TransportError;

namespace {

QString outboxDir(const QString &storeRoot)
{
    return Maildir(storeRoot).folderPath(QStringLiteral("Outbox"));
}

QString described(const OutboxMessage &m)
{
    return QStringLiteral("\"%1\" (%2)").arg(m.subject(), QFileInfo(m.path()).fileName());
}

} // namespace

OutboxSender::OutboxSender(const Settings &settings, QString storeRoot, QString senderAddress, QString journalDir,
                           LineList &log, EntryRules *bounces)
    : m_settings(settings)
    , m_storeRoot(std::move(storeRoot))
    , m_sender(std::move(senderAddress))
    , m_journalDir(std::move(journalDir))
    , m_log(log)
    , m_bounces(bounces)
{
}

OutboxSender::~OutboxSender() = default;

int OutboxSender::waiting(const QString &storeRoot)
{
    const QString dir = outboxDir(storeRoot);
    return dir.isEmpty() ? 0 : int(Maildir::messageFiles(dir).size());
}

OutboxSender::Result OutboxSender::run()
{
    Result result;
    const QString outbox = outboxDir(m_storeRoot);
    if (outbox.isEmpty())
        return result;
    const QStringList files = Maildir::messageFiles(outbox);
    if (files.isEmpty()) {
        forgetStaleRecords(files);
        return result;
    }
    if (const QString problem = sending::settingsProblem(m_settings); !problem.isEmpty()) {
        result.failure = problem;
        result.left = int(files.size());
        return result;
    }
    Maildir store(m_storeRoot);
    m_sentDir = store.folderPath(QStringLiteral("Sent Items"));
    if (m_sentDir.isEmpty()) {
        try {
            m_sentDir = store.createFolder(QStringLiteral("Sent Items"));
        } catch (const std::exception &e) {
            result.failure = QString::fromUtf8(e.what());
            result.left = int(files.size());
            return result;
        }
    }
    OutboxJournal journal(m_journalDir);
    if (!journal.load(&result.failure)) {
        result.left = int(files.size());
        return result;
    }
    pruneJournal(journal, files);

    ThrottledProgress progress(m_callbacks.progress, m_callbacks.stop);
    const int total = int(files.size());
    for (int i = 0; i < total; ++i) {
        if (!progress.update(i, total, QStringLiteral("Sending message %1 of %2").arg(i + 1).arg(total))) {
            result.stopped = true;
            result.left += total - i;
            break;
        }
        QString problem;
        std::optional<OutboxMessage> message = OutboxMessage::open(files.at(i), &problem);
        if (!message) {
            if (QFileInfo::exists(files.at(i))) { // a mail client may have taken it meanwhile
                ++result.skipped;
                result.problems += problem;
                m_log.append(QStringLiteral("Outbox message skipped: ") + problem, LineList::Keep::Always);
            }
            continue;
        }
        Step step = sendOne(*message, files.at(i), journal, result);
        if (step == Step::Again)
            step = sendOne(*message, files.at(i), journal, result);
        if (step == Step::Stop) {
            result.left += total - i;
            break;
        }
    }
    progress.hide();
    m_transport.reset();
    return result;
}

void OutboxSender::pruneJournal(OutboxJournal &journal, const QStringList &files)
{
    QStringList waiting;
    waiting.reserve(files.size());
    for (const QString &path : files)
        waiting += Maildir::uniqueName(QFileInfo(path).fileName());
    QString why;
    if (!journal.keepOnly(waiting, &why))
        m_log.append(QStringLiteral("Outbox record not updated: ") + why, LineList::Keep::Always);
}

void OutboxSender::forgetStaleRecords(const QStringList &files)
{
    OutboxJournal journal(m_journalDir);
    QString why;
    if (journal.load(&why))
        pruneJournal(journal, files);
}

bool OutboxSender::connect(Result &result)
{
    if (m_transport)
        return true;
    QString password;
    if (sending::needsPassword(m_settings)) {
        password = m_callbacks.password ? m_callbacks.password() : QString();
        if (password.isEmpty()) {
            result.failure = QStringLiteral("No password was given for %1 at the mail server %2.")
                                 .arg(m_settings.SmtpUser, m_settings.SmtpServer);
            return false;
        }
    }
    Settings effective = m_settings;
    if (!m_trusted.isEmpty())
        effective.SmtpTrustedCertificate = m_trusted;
    try {
        m_transport = m_factory ? m_factory(effective, password) : sending::makeTransport(effective, password);
    } catch (const TransportError &e) {
        result.failure = e.message();
        return false;
    }
    return true;
}

OutboxSender::Step OutboxSender::sendOne(OutboxMessage &message, const QString &path, OutboxJournal &journal,
                                         Result &result)
{
    const QString unique = Maildir::uniqueName(QFileInfo(path).fileName());
    const OutboxJournal::Identity id{unique, QString::fromUtf8(message.messageId()), message.size()};
    QString why;
    if (journal.state(id) == OutboxJournal::State::Accepted) {
        // Accepted by a run that died before filing it: never sent again.
        ++result.filed;
        file(path, id, journal, result);
        return Step::Next;
    }
    if (!connect(result))
        return Step::Stop;
    const QByteArray sender = m_sender.toUtf8();
    if (sender.isEmpty() || platform::smtp::holdsControl(sender)) {
        result.failure = QStringLiteral("The envelope sender \"%1\" is empty or holds a line break or another "
                                        "control character.")
                             .arg(m_sender.simplified());
        return Step::Stop;
    }
    // A message that went out to some recipients one by one goes on after
    // them, whatever the setting says now: the others have it already.
    const int done = journal.recipientsDone(id);
    const bool each = m_settings.SmtpVerp || done > 0;
    if (done == 0 && !journal.sending(id, &why)) {
        result.failure = why + QStringLiteral(" Nothing more is sent until it can be.");
        return Step::Stop;
    }
    // What was finished for some recipients stays recorded.
    const auto release = [&] {
        if (journal.recipientsDone(id) == 0)
            journal.forget(id, &why);
    };
    Submission s;
    try {
        s = each ? submitEach(message, sender, id, journal, done, result)
                 : submitOnce(message, sender, message.recipients());
    } catch (const TransportError &e) {
        release();
        m_transport.reset();
        if (e.kind() == TransportError::Kind::Certificate && m_callbacks.trust && m_trusted.isEmpty()
            && !e.fingerprint().isEmpty() && m_callbacks.trust(m_settings.SmtpServer, e.subject(), e.fingerprint())) {
            m_trusted = e.fingerprint();
            return Step::Again;
        }
        if (e.kind() == TransportError::Kind::Login && m_callbacks.passwordRefused)
            m_callbacks.passwordRefused();
        result.retry = e.kind() == TransportError::Kind::Connection;
        result.failure = e.message();
        m_log.append(QStringLiteral("Outbox message not sent, left in the Outbox: ") + described(message)
                         + QStringLiteral(": ") + e.message(),
                     LineList::Keep::Always);
        return Step::Stop;
    }

    const QString server = m_transport->serverName();
    switch (s.outcome) {
    case Submission::Outcome::Accepted: {
        if (!journal.accepted(id, &why))
            m_log.append(QStringLiteral("Outbox message sent, but not recorded as sent: ") + why,
                         LineList::Keep::Always);
        ++result.sent;
        int refused = 0;
        for (const auto &r : s.recipients)
            refused += r.code >= 500 ? 1 : 0;
        m_log.append(
            each ? QStringLiteral("Sent %1 through %2 to each recipient on its own").arg(described(message), server)
                 : QStringLiteral("Sent %1 through %2 to %3 recipients")
                       .arg(described(message), server)
                       .arg(message.recipients().size() - refused),
            LineList::Keep::Always);
        countRefused(s, result);
        file(path, id, journal, result);
        return Step::Next;
    }
    case Submission::Outcome::Refused:
        release();
        if (each ? s.reason.isEmpty()
                 : !s.recipients.isEmpty()
                       && std::all_of(s.recipients.cbegin(), s.recipients.cend(),
                                      [](const auto &r) { return r.code >= 500; })) {
            // No one takes it, ever: filed so that it is not counted again.
            m_log.append(
                QStringLiteral("Not sent %1 through %2: every recipient was refused").arg(described(message), server),
                LineList::Keep::Always);
            countRefused(s, result);
            file(path, id, journal, result);
            return Step::Next;
        }
        ++result.left;
        m_log.append(QStringLiteral("Outbox message refused by %1, left in the Outbox: %2: %3")
                         .arg(server, described(message), s.reason),
                     LineList::Keep::Always);
        return Step::Next;
    case Submission::Outcome::Temporary:
        release();
        ++result.left;
        result.retry = true;
        m_log.append(QStringLiteral("Outbox message put off by %1, left in the Outbox: %2: %3")
                         .arg(server, described(message), s.reason),
                     LineList::Keep::Always);
        return Step::Next;
    }
    return Step::Next;
}

Submission OutboxSender::submitOnce(OutboxMessage &message, const QByteArray &sender,
                                    const QList<QByteArray> &recipients)
{
    if (!message.rewind(m_transport->wantsCrLf()))
        throw TransportError(TransportError::Kind::Setting,
                             QStringLiteral("%1 could not be read.").arg(QDir::toNativeSeparators(message.path())));
    return m_transport->submit(sender, recipients,
                               [&message](char *buf, qint64 size) { return message.read(buf, size); });
}

Submission OutboxSender::submitEach(OutboxMessage &message, const QByteArray &sender, const OutboxJournal::Identity &id,
                                    OutboxJournal &journal, int done, Result &result)
{
    const QList<QByteArray> &all = message.recipients();
    Submission total;
    total.outcome = Submission::Outcome::Accepted;
    bool anyTaken = done > 0;
    for (qsizetype k = done; k < all.size(); ++k) {
        const QByteArray own = m_settings.SmtpVerp ? platform::smtp::verpSender(sender, all.at(k)) : QByteArray();
        Submission one = submitOnce(message, own.isEmpty() ? sender : own, {all.at(k)});
        const bool refusedForGood = one.outcome == Submission::Outcome::Refused && !one.recipients.isEmpty()
                                    && one.recipients.first().code >= 500;
        if (one.outcome != Submission::Outcome::Accepted && !refusedForGood) {
            // Put off, or the message itself refused: the rest wait with it.
            total.outcome = one.outcome;
            total.reason = QString::fromUtf8(all.at(k)) + QStringLiteral(": ") + one.reason;
            return total;
        }
        anyTaken = anyTaken || !refusedForGood;
        // Counted now: a later run does not come back to this recipient.
        countRefused(one, result);
        QString why;
        if (!journal.progress(id, int(k + 1), &why)) {
            total.outcome = Submission::Outcome::Temporary;
            total.reason = why;
            return total;
        }
    }
    // Each refused and already counted: no reason, as for nothing to tell.
    if (!anyTaken)
        total.outcome = Submission::Outcome::Refused;
    return total;
}

void OutboxSender::countRefused(const Submission &s, Result &result)
{
    const QString server = m_transport ? m_transport->serverName() : QString();
    for (const platform::smtp::RecipientReply &r : s.recipients) {
        if (r.code < 500)
            continue;
        ++result.refused;
        const QString address = QString::fromUtf8(r.address);
        m_log.append(QStringLiteral("Recipient refused by %1: %2 (%3)").arg(server, address, r.reply),
                     LineList::Keep::Always);
        if (m_bounces && m_settings.FailedMail) {
            try {
                m_bounces->processbounce(address);
            } catch (const TableError &e) {
                m_log.append(QStringLiteral("Update Undeliverable ") + address + QStringLiteral(" -> ")
                                 + QString::fromUtf8(e.what()),
                             LineList::Keep::Always);
            }
        }
    }
}

void OutboxSender::file(const QString &path, const OutboxJournal::Identity &id, OutboxJournal &journal, Result &result)
{
    QString why;
    try {
        Maildir::moveMessage(path, m_sentDir);
    } catch (const std::exception &e) {
        // The record stays: the next run files it without sending it.
        ++result.left;
        result.retry = true;
        m_log.append(QStringLiteral("Sent, but not moved to \"Sent Items\": %1 (%2)")
                         .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what())),
                     LineList::Keep::Always);
        return;
    }
    if (!journal.forget(id, &why))
        m_log.append(QStringLiteral("Outbox record not updated: ") + why, LineList::Keep::Always);
}
