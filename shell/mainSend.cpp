// Opening the send-to-list dialog from the main window, and at start the
// offer to resume a mailing that was broken off.
#include "commands/Mailing.h"
#include "commands/OutboxSender.h"
#include "commands/SendingAccount.h"
#include "core/SettingsStore.h"
#include "dialogs/addrecip.h"
#include "dialogs/sendmail.h"
#include "mail/Email.h"
#include "mail/MailingJournal.h"
#include "shell/AppContext.h"
#include "shell/main.h"

#include "core/LineList.h"
#include "core/Prompts.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include <optional>

namespace {

// With a mailing to resume, the dialog opens filled with it.
void btnsendClick(Tfrmmain &w, const MailingRecord *resumed = nullptr)
{
    AppContext &c = w.context();
    if (!c.mapi || !c.mapi->MapiAvailable()) {
        c.prompts.error(QString::fromUtf8(EMapiUnavailable().what()));
        return;
    }
    TdlgAddRecip addRecip(c.prompts, &w);
    std::unique_ptr<TdlgSendMail> send;
    try {
        send = std::make_unique<TdlgSendMail>(
            c.table(), *c.mapi, c.settings, c.prompts,
            [&w](bool show, int position, int total, const QString &message) {
                w.showprogress(show, position, total, message);
            },
            addRecip, &w);
        send->setStopQuery(w.progressStop());
        send->FormCreate();
    } catch (const std::exception &e) {
        c.prompts.error(QString::fromUtf8(e.what()));
        return;
    }
    addRecip.setSendDialog(send.get());
    MailingJournal journal(c.programDir);
    send->setJournal(&journal);
    if (resumed) {
        send->resume(*resumed);
    } else {
        if (!c.settings.DefaultToAddress.isEmpty()) {
            addRecip.Recipient->setText(c.settings.DefaultToAddress);
            addRecip.btnToAddClick(addRecip.btnToAdd);
        }
        send->setMainFilter(w.rdbfilter->isChecked(), w.edtfilter->text());
    }
    send->exec();
    // The session ends with the send dialog, before the add-recipients one goes.
    send.reset();
    w.sendOutbox(Tfrmmain::OutboxRun::AfterMailing);
}

} // namespace

void Tfrmmain::offerMailingResume()
{
    if (const std::optional<MailingRecord> record = Mailing::offeredResume(m_context.programDir, m_context.prompts))
        btnsendClick(*this, &*record);
}

void Tfrmmain::connectSendCommands()
{
    connect(btnsend, &QPushButton::clicked, this, [this] { btnsendClick(*this); });
    connect(mnuSend, &QAction::triggered, this, [this] { btnsendClick(*this); });
    connect(mnuSendOutbox, &QAction::triggered, this, [this] { sendOutbox(OutboxRun::Asked); });
    m_outboxRetry.setSingleShot(true);
    connect(&m_outboxRetry, &QTimer::timeout, this, [this] { sendOutbox(OutboxRun::Automatic); });
}

void Tfrmmain::sendOutbox(OutboxRun run)
{
    AppContext &c = m_context;
    const bool asked = run == OutboxRun::Asked;
    const bool automatic = run == OutboxRun::Automatic;
    if (!sending::sends(c.settings)) {
        if (asked)
            c.prompts.information(QStringLiteral("Messages are left in the Outbox for your mail client. Choose how "
                                                 "they are sent under Options, Mail Account."));
        return;
    }
    QString why;
    const std::optional<sending::MailProfile> profile = sending::mailProfile(&why);
    if (!profile) {
        if (asked)
            c.prompts.error(why);
        return;
    }
    if (OutboxSender::waiting(profile->storeRoot) == 0) {
        if (asked)
            c.prompts.information(QStringLiteral("The Outbox holds no messages."));
        return;
    }
    m_outboxRetry.stop();
    OutboxSender sender(c.settings, profile->storeRoot, sending::envelopeSender(c.settings, profile->senderAddress),
                        c.programDir, c.log, c.table().active() ? &c.rules : nullptr);
    OutboxSender::Callbacks callbacks;
    callbacks.progress = [this](bool show, int position, int total, const QString &message) {
        showprogress(show, position, total, message);
    };
    callbacks.stop = progressStop();
    callbacks.password = [this, &c, automatic] {
        if (!m_smtpPasswordRefused) {
            if (const QString kept = sending::storedPassword(c.settings); !kept.isEmpty())
                return kept;
        }
        if (automatic)
            return QString();
        const QString typed = c.prompts.password(QStringLiteral("The password of %1 at the mail server %2:")
                                                     .arg(c.settings.SmtpUser, c.settings.SmtpServer));
        if (!typed.isEmpty()) {
            sending::keepPassword(c.settings, typed);
            m_smtpPasswordRefused = false;
        }
        return typed;
    };
    callbacks.passwordRefused = [this, &c] {
        sending::forgetPassword(c.settings);
        m_smtpPasswordRefused = true;
    };
    callbacks.trust = [&c, automatic](const QString &server, const QString &subject, const QString &fingerprint) {
        if (automatic)
            return false;
        const bool yes = c.prompts.confirm(QStringLiteral("The certificate of the mail server %1 is not trusted.\n"
                                                          "It names %2; its SHA-256 fingerprint is\n%3\n\n"
                                                          "Trust this certificate for this server?")
                                               .arg(server, subject, fingerprint))
                         == Prompts::Answer::Yes;
        if (yes) {
            c.settings.SmtpTrustedCertificate = fingerprint;
            SettingsStore(c.programDir, c.prompts).SaveEntries(c.settings, c.lists);
        }
        return yes;
    };
    sender.setCallbacks(callbacks);
    const OutboxSender::Result r = sender.run();

    // Put off: again after 1, 5 and 15 minutes, then at the next send or start.
    static constexpr int RetryMinutes[] = {1, 5, 15};
    if (r.retry && m_outboxRetries < int(std::size(RetryMinutes)))
        m_outboxRetry.start(RetryMinutes[m_outboxRetries++] * 60 * 1000);
    else if (!r.retry)
        m_outboxRetries = 0;

    QStringList said;
    if (!r.failure.isEmpty())
        said += r.failure;
    said += r.problems;
    const QString summary = QStringLiteral("%1 messages were sent; %2 stay in the Outbox; %3 recipients were "
                                           "refused (see the log).")
                                .arg(r.sent + r.filed)
                                .arg(r.left)
                                .arg(r.refused);
    if (automatic) {
        // Nobody asked: a box at every retry would stand in the user's way.
        if (!r.failure.isEmpty())
            c.log.append(QStringLiteral("Outbox not sent: ") + r.failure, LineList::Keep::Always);
        const QString retry = m_outboxRetry.isActive()
                                  ? QStringLiteral(" Tried again in %1 minutes.").arg(m_outboxRetry.interval() / 60000)
                                  : QString();
        statusBar()->showMessage(said.isEmpty() ? summary : QStringLiteral("Outbox: ") + said.first() + retry);
        return;
    }
    statusBar()->clearMessage();
    if (!said.isEmpty()) {
        c.prompts.error(said.join(QLatin1Char('\n')));
        return;
    }
    if (asked || r.left > 0 || r.refused > 0)
        c.prompts.information(summary);
}
