// Opening the send-to-list dialog from the main window, and at start the
// offer to resume a mailing that was broken off.
#include "dialogs/addrecip.h"
#include "dialogs/sendmail.h"
#include "mail/Email.h"
#include "mail/MailingJournal.h"
#include "shell/AppContext.h"
#include "shell/main.h"

#include "core/Prompts.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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
}

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

void Tfrmmain::offerMailingResume()
{
    Prompts &prompts = m_context.prompts;
    MailingJournal journal(m_context.programDir);
    if (!journal.exists())
        return;
    MailingRecord mailing;
    QString why;
    if (!journal.read(&mailing, &why)) {
        // Left alone: what it holds may still be wanted; a new mailing replaces it.
        prompts.warning(QStringLiteral("A mailing that did not end cannot be resumed.\n") + why);
        return;
    }
    if (prompts.confirm(resumeQuestion(mailing)) == Prompts::Answer::Yes)
        btnsendClick(*this, &mailing);
    else if (!journal.remove(&why))
        prompts.warning(why);
}

void Tfrmmain::connectSendCommands()
{
    connect(btnsend, &QPushButton::clicked, this, [this] { btnsendClick(*this); });
    connect(mnuSend, &QAction::triggered, this, [this] { btnsendClick(*this); });
}
