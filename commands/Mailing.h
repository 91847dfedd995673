#pragma once
// One message sent to the whole list or to one category: the unique
// recipient list, the messages it is cut into (the settings' recipients per
// message, the rest in blind copies), a test message, and the record that
// lets a mailing broken off go on after its last address placed. Errors and
// results go to Prompts; the progress, the user's stop and its question go
// through callbacks, so it runs with a window or without one.
#include "commands/MessageDraft.h"
#include "core/Progress.h"
#include "mail/MailingJournal.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class MLTable;
class Prompts;
class TEmail;
struct Settings;

class Mailing
{
public:
    struct Callbacks
    {
        // The count's and the send's progress.
        ProgressFn progress;
        // Lets a stop reach requestStop() while the mailing runs.
        std::function<void()> pumpEvents;
        // True for Yes; without it a stop asked for is taken.
        std::function<bool(const QString &question)> confirm;
        // The progress window's Cancel: stops the count, and asks to stop
        // the send as requestStop() does.
        StopQuery stop;
    };

    // A mailing that was not started has said why; one stopped by the user
    // or finished has said how many addresses it placed.
    enum class Outcome { NotStarted, Finished, Stopped, Failed };

    Mailing(MLTable &table, const Settings &settings, TEmail &email, Prompts &prompts);

    void setCallbacks(Callbacks callbacks) { m_callbacks = std::move(callbacks); }
    // Where the mailing is recorded as it goes; without one nothing is.
    void setJournal(MailingJournal *journal) { m_journal = journal; }

    // Unless a session is open; false once the failure was shown. Throw
    // EMapiUnavailable without a mail system.
    bool logOn();
    void logOff();
    // A typed name as the mail system resolves it; empty when it does not.
    QString resolve(const QString &typed);

    // Every address under the table's filter once, in the list's order;
    // false once the failure or the user's stop was shown.
    bool countRecipients();
    // The filter changed: the next send needs a new count.
    void forgetRecipients() { m_counted = false; }
    bool counted() const { return m_counted; }
    const QStringList &recipients() const { return m_recipients; }

    // One message to the draft's own recipients; false once the failure was
    // shown.
    bool sendTest(const MessageDraft &draft);
    // The draft to every counted address, or to those after the resume
    // point, recorded in the journal as it goes.
    Outcome send(const MessageDraft &draft);
    bool sending() const { return m_sending; }
    // Asked at the next address whether to stop.
    void requestStop() { m_stopRequested = true; }

    // A mailing broken off: its draft, and a send that goes on after its
    // last address placed. The caller filters the table by its category.
    MessageDraft resume(const MailingRecord &record);
    // Empty while the mailing starts from the first address.
    QString resumeAfter() const { return m_resumeAfter; }
    qint64 placedBefore() const { return m_placedBefore; }

    // At start: a mailing left unfinished, when the user wants it resumed.
    // One answered No is forgotten; one that cannot be read is named and
    // left alone.
    static std::optional<MailingRecord> offeredResume(const QString &programDir, Prompts &prompts);

private:
    class Steps;

    // True when the mail system took it; category is the one its list
    // fields name (empty: the whole list).
    bool place(const MessageDraft &message, const QString &category);
    MailingRecord record(const MessageDraft &draft) const;

    MLTable &m_table;
    const Settings &m_settings;
    TEmail &m_email;
    Prompts &m_prompts;
    Callbacks m_callbacks;
    MailingJournal *m_journal = nullptr;

    QStringList m_recipients;
    QString m_category; // the one the list was counted under
    QString m_owner; // the mail profile's address, which the list fields name
    bool m_ownerLooked = false;
    bool m_counted = false;
    bool m_sending = false;
    bool m_stopRequested = false;
    QString m_resumeAfter;
    qint64 m_placedBefore = 0;
};
