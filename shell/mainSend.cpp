// Opening the send-to-list dialog from the main window, and at start the
// offer to resume a mailing that was broken off.
#include "commands/Mailing.h"
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
}
