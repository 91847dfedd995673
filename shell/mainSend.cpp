// Opening the send-to-list dialog from the main window.
#include "dialogs/addrecip.h"
#include "dialogs/sendmail.h"
#include "mail/Email.h"
#include "shell/AppContext.h"
#include "shell/main.h"

#include "core/Prompts.h"

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

void btnsendClick(Tfrmmain &w)
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
    if (!c.settings.DefaultToAddress.isEmpty()) {
        addRecip.Recipient->setText(c.settings.DefaultToAddress);
        addRecip.btnToAddClick(addRecip.btnToAdd);
    }
    send->setMainFilter(w.rdbfilter->isChecked(), w.edtfilter->text());
    send->exec();
    // The session ends with the send dialog, before the add-recipients one goes.
    send.reset();
}

} // namespace

void Tfrmmain::connectSendCommands()
{
    connect(btnsend, &QPushButton::clicked, this, [this] { btnsendClick(*this); });
    connect(mnuSend, &QAction::triggered, this, [this] { btnsendClick(*this); });
}
