#include "commands/Mailing.h"

#include "commands/SendingAccount.h"
#include "core/Prompts.h"
#include "core/Settings.h"
#include "mail/BulkSend.h"
#include "mail/Email.h"
#include "mail/EmailListFields.h"
#include "store/MLTable.h"
#include "store/UniqueRecipients.h"

#include <QElapsedTimer>
#include <QScopeGuard>

#include <algorithm>
#include <stdexcept>

namespace {

QString resumeQuestion(const MailingRecord &m)
{
    const QString to = m.category.isEmpty() ? QStringLiteral("all mailing list entries")
                                            : QStringLiteral("the category \"%1\"").arg(m.category);
    const QString progress
        = m.placed == 0
              ? QStringLiteral("No message of it was placed yet.")
              : QStringLiteral("%1 addresses had it, the last %2.").arg(QString::number(m.placed), m.lastPlaced);
    return QStringLiteral("A mailing did not end: \"%1\" to %2. %3\nDo you want to resume it from the first address "
                          "not yet placed? No forgets it.")
        .arg(m.subject, to, progress);
}

} // namespace

// The send loop's steps: each message is the draft with its share of the
// list's addresses.
class Mailing::Steps : public BulkSendSteps
{
public:
    Steps(Mailing &mailing, const MessageDraft &draft)
        : m_mailing(mailing)
        , m_fixedTo(draft.to)
        , m_message(draft)
        , m_progress(mailing.m_callbacks.progress)
    {
    }

    bool addAddress(const QString &address, bool ownMessage) override
    {
        const QString resolved = m_mailing.m_email.ResolveRecipient(address);
        if (resolved.isEmpty())
            return false;
        if (ownMessage) {
            // Sorted, as the window's To list has always held them.
            m_message.to = m_fixedTo;
            m_message.to.append(resolved);
            std::stable_sort(m_message.to.begin(), m_message.to.end());
        } else {
            m_message.bcc.append(resolved);
        }
        return true;
    }

    void progress(int position, int total, const QString &address) override
    {
        // The text is built only when it will be shown.
        if (m_clock.isValid() && m_clock.elapsed() < ThrottledProgress::IntervalMs && position + 1 < total)
            return;
        m_clock.start();
        m_progress.update(position, total, QStringLiteral("Sending e-mail to ") + address);
    }

    void pumpEvents() override
    {
        // Often enough that a stop is answered at once.
        if (!m_mailing.m_callbacks.pumpEvents || (m_pumped.isValid() && m_pumped.elapsed() < 10))
            return;
        m_pumped.start();
        m_mailing.m_callbacks.pumpEvents();
    }

    bool breakConfirmed() override
    {
        const auto &stop = m_mailing.m_callbacks.stop;
        if (stop && stop())
            m_mailing.m_stopRequested = true;
        if (!m_mailing.m_stopRequested)
            return false;
        const auto &confirm = m_mailing.m_callbacks.confirm;
        if (!confirm || confirm(QStringLiteral("Really want to break?")))
            return true;
        m_mailing.m_stopRequested = false;
        return false;
    }

    void sendMessage() override
    {
        // A message that could not be placed (a full disk, an Outbox that
        // cannot be written) ends the mailing: the rest would fail alike.
        if (!m_mailing.place(m_message, m_mailing.m_category))
            throw std::runtime_error("a message of the mailing was not sent");
        // The draft's own blind copies go with the first message only.
        m_message.bcc.clear();
    }

    void messagePlaced(const QString &lastAddress, int done) override
    {
        m_lastPlaced = lastAddress;
        m_placed = done;
        if (m_mailing.m_journal)
            m_mailing.m_journal->placed(lastAddress, m_mailing.m_placedBefore + done);
    }

    const QString &lastPlaced() const { return m_lastPlaced; }
    int placed() const { return m_placed; }
    void hideProgress() { m_progress.hide(); }

private:
    Mailing &m_mailing;
    const QStringList m_fixedTo;
    MessageDraft m_message;
    ThrottledProgress m_progress;
    QElapsedTimer m_clock;
    QElapsedTimer m_pumped;
    QString m_lastPlaced;
    int m_placed = 0;
};

Mailing::Mailing(MLTable &table, const Settings &settings, TEmail &email, Prompts &prompts)
    : m_table(table)
    , m_settings(settings)
    , m_email(email)
    , m_prompts(prompts)
{
}

bool Mailing::logOn()
{
    if (m_email.sessionOpen() || m_email.Logon() == 0)
        return true;
    m_prompts.error(QStringLiteral("MAPI Logon failed"));
    return false;
}

void Mailing::logOff()
{
    try {
        if (m_email.Logoff() != 0)
            m_prompts.error(QStringLiteral("MAPI Logoff failed"));
    } catch (const std::exception &) {
        // Without a mail system there was no session to close.
    }
}

QString Mailing::resolve(const QString &typed)
{
    try {
        return m_email.ResolveRecipient(typed);
    } catch (const std::exception &e) {
        m_prompts.error(QString::fromUtf8(e.what()));
        return {};
    }
}

bool Mailing::countRecipients()
{
    if (m_sending)
        return false;
    m_table.disableControls();
    ThrottledProgress progress(m_callbacks.progress, m_callbacks.stop);
    auto restore = qScopeGuard([&] {
        m_table.enableControls();
        progress.hide();
    });
    m_recipients.clear();
    m_counted = false;
    try {
        const int total = m_table.recordCount();
        const QString category = m_table.filtered() ? m_table.filterCategory() : QString();
        struct Stopped
        {
            int read;
        };
        try {
            m_recipients = uniqueRecipients(m_table, category, [&](int read, const QString &address) {
                // The text is built only when it will be shown.
                const bool shown = progress.due() || read + 1 >= total;
                if (!progress.update(read, total, shown ? QStringLiteral("Processing address, ") + address : QString()))
                    throw Stopped{read};
            });
        } catch (const Stopped &stopped) {
            m_recipients.clear();
            progress.hide();
            m_prompts.information(QStringLiteral("Counting the recipients cancelled: ")
                                  + doneOfTotal(stopped.read, total)
                                  + QStringLiteral(" entries read. Nothing is sent before they are counted."));
            return false;
        }
        m_category = category;
        m_counted = true;
        return true;
    } catch (const std::exception &) {
        m_prompts.error(QStringLiteral("An error was encountered calculating your recipeints!"));
        return false;
    }
}

bool Mailing::place(const MessageDraft &message, const QString &category)
{
    if (!m_ownerLooked) {
        m_ownerLooked = true;
        QString none; // without a local profile no list fields are added
        if (const auto profile = sending::mailProfile(&none))
            m_owner = profile->senderAddress;
    }
    m_email.setListFields(listfields::fields(m_owner, m_settings.ListName, category));
    // Every list, empty ones too: a message refused keeps its own in the
    // component, and they must not go with the next one.
    m_email.setRecipient(message.to);
    m_email.setCC(message.cc);
    m_email.setBcc(message.bcc);
    m_email.setAttachment(message.attachments);
    m_email.SetLongText(message.text);
    m_email.setSubject(message.subject);
    m_email.setAcknowledge(message.receipt);
    if (m_email.SendMail() != 0) {
        m_prompts.abortError(QStringLiteral("MAPI Sendmail failed"));
        return false;
    }
    m_email.Reset();
    return true;
}

bool Mailing::sendTest(const MessageDraft &draft)
{
    if (m_sending)
        return false;
    try {
        // The owner sees what the members of the category shown see.
        return place(draft, m_table.filtered() ? m_table.filterCategory() : QString());
    } catch (const EMapiUnavailable &e) {
        m_prompts.error(QString::fromUtf8(e.what()));
        return false;
    }
}

MailingRecord Mailing::record(const MessageDraft &draft) const
{
    MailingRecord m;
    m.subject = draft.subject;
    m.text = draft.text;
    m.attachments = draft.attachments;
    m.to = draft.to;
    m.cc = draft.cc;
    m.receipt = draft.receipt;
    m.category = m_category;
    m.lastPlaced = m_resumeAfter;
    m.placed = m_placedBefore;
    return m;
}

Mailing::Outcome Mailing::send(const MessageDraft &draft)
{
    if (m_sending)
        return Outcome::NotStarted;
    // Without a session no address resolves, and a mailing that sent
    // nothing would be reported as sent.
    if (!logOn())
        return Outcome::NotStarted;
    if (!m_counted) {
        m_prompts.warning(QStringLiteral("An error was encoutnered creating your recipient list!"));
        return Outcome::NotStarted;
    }
    // Recorded before the first message, so a mailing broken off in any way
    // can go on where it stopped instead of mailing anyone twice.
    QString why;
    if (m_journal && !m_journal->begin(record(draft), &why)) {
        m_prompts.error(QStringLiteral("An error was encountered sending your e-mail!\n") + why);
        return Outcome::NotStarted;
    }
    const QStringList addresses = m_resumeAfter.isEmpty() ? m_recipients : recipientsAfter(m_recipients, m_resumeAfter);
    Steps steps(*this, draft);
    BulkSendResult result;
    bool failed = false;
    {
        m_sending = true;
        m_stopRequested = false;
        auto end = qScopeGuard([&] {
            m_sending = false;
            steps.hideProgress();
            // Nothing of a message that was not sent is kept.
            m_email.Reset();
        });
        try {
            result = runBulkSend(addresses, m_settings.SendCount, steps);
        } catch (const std::exception &) {
            failed = true;
        }
    }
    const bool finished = !failed && !result.broken;
    // Sending again goes on where this stopped.
    if (finished) {
        m_resumeAfter.clear();
        m_placedBefore = 0;
    } else if (!steps.lastPlaced().isEmpty()) {
        m_resumeAfter = steps.lastPlaced();
        m_placedBefore += steps.placed();
    }
    const QString recordProblem = m_journal ? m_journal->end(finished) : QString();
    const bool resumable = m_journal && !finished && m_journal->exists();
    if (failed) {
        // Those placed stay placed: the user must know, or a second send
        // would look like the first and mail them again.
        QString placed = QStringLiteral("\n%1 recipients had already been placed in your Outlook Outbox.")
                             .arg(QString::number(m_placedBefore));
        if (!m_resumeAfter.isEmpty())
            placed += QStringLiteral(" Sending again goes on after %1.").arg(m_resumeAfter);
        m_prompts.error(
            QStringLiteral("An error was encountered sending your e-mail!") + placed
            + (resumable ? QStringLiteral("\nThe next start offers to send the rest of the mailing.") : QString()));
    } else {
        m_prompts.information(
            QStringLiteral("Your e-mails to ") + QString::number(result.done)
            + QStringLiteral(" recipients have been sent to your Outlook Outbox.")
            + (resumable ? QStringLiteral("\nThe next start offers to send the rest of the mailing.") : QString()));
    }
    if (!recordProblem.isEmpty())
        m_prompts.warning(recordProblem);
    return failed ? Outcome::Failed : result.broken ? Outcome::Stopped : Outcome::Finished;
}

MessageDraft Mailing::resume(const MailingRecord &record)
{
    m_resumeAfter = record.lastPlaced;
    m_placedBefore = record.placed;
    MessageDraft draft;
    draft.to = record.to;
    draft.cc = record.cc;
    draft.attachments = record.attachments;
    draft.subject = record.subject;
    draft.text = record.text;
    draft.receipt = record.receipt;
    return draft;
}

std::optional<MailingRecord> Mailing::offeredResume(const QString &programDir, Prompts &prompts)
{
    MailingJournal journal(programDir);
    if (!journal.exists())
        return std::nullopt;
    MailingRecord record;
    QString why;
    if (!journal.read(&record, &why)) {
        // Left alone: what it holds may still be wanted; a new mailing replaces it.
        prompts.warning(QStringLiteral("A mailing that did not end cannot be resumed.\n") + why);
        return std::nullopt;
    }
    if (prompts.confirm(resumeQuestion(record)) == Prompts::Answer::Yes)
        return record;
    if (!journal.remove(&why))
        prompts.warning(why);
    return std::nullopt;
}
