// The send dialog's work: the unique list, one message, and the list loop.
#include "dialogs/sendmail.h"

#include "core/Prompts.h"
#include "core/Settings.h"
#include "dialogs/WaitCursor.h"
#include "dialogs/addrecip.h"
#include "mail/BulkSend.h"
#include "mail/Email.h"
#include "store/MLTable.h"
#include "store/UniqueRecipients.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStringListModel>

#include <stdexcept>

void TdlgSendMail::btnrecalcClick()
{
    if (m_sending)
        return;
    WaitCursor wait;
    m_table.disableControls();
    ThrottledProgress progress(m_progress);
    auto restore = qScopeGuard([&] {
        m_table.enableControls();
        progress.hide();
    });
    m_recipients->setStringList({});
    try {
        const int total = m_table.recordCount();
        const QString category = m_table.filtered() ? m_table.filterCategory() : QString();
        QElapsedTimer clock;
        const QStringList unique = uniqueRecipients(m_table, category, [&](int read, const QString &address) {
            // The message is built only when it will be shown.
            if (!clock.isValid() || clock.elapsed() >= ThrottledProgress::IntervalMs || read + 1 >= total) {
                clock.start();
                progress.update(read, total, QStringLiteral("Processing address, ") + address);
            }
        });
        m_recipients->setStringList(unique);
        lblcount->setText(QString::number(unique.size()) + QStringLiteral(" Unique Recipients"));
        btnrecalc->setEnabled(false);
    } catch (const std::exception &) {
        m_prompts.error(QStringLiteral("An error was encountered calculating your recipeints!"));
    }
}

void TdlgSendMail::SendClick()
{
    if (m_sending)
        return;
    try {
        sendOne(false);
    } catch (const EMapiUnavailable &e) {
        m_prompts.error(QString::fromUtf8(e.what()));
    }
}

bool TdlgSendMail::sendOne(bool bulk)
{
    auto copyIfAny = [](const QStringList &items, void (TEmail::*set)(const QStringList &), TEmail &email) {
        if (!items.isEmpty())
            (email.*set)(items);
    };
    copyIfAny(listItems(m_addRecip.lbTo), &TEmail::setRecipient, *Email1);
    copyIfAny(listItems(m_addRecip.lbCC), &TEmail::setCC, *Email1);
    copyIfAny(listItems(lbBCC), &TEmail::setBcc, *Email1);
    copyIfAny(listItems(lbAttach), &TEmail::setAttachment, *Email1);
    Email1->SetLongText(edtMessageText->toPlainText());
    Email1->setSubject(edtMessageSubject->text());
    // Every message asks for the receipt the options (or the resumed
    // mailing) ask for, not only the first.
    Email1->setAcknowledge(m_receipt.value_or(m_settings.Acknowledge));
    if (Email1->SendMail() != 0) {
        m_prompts.abortError(QStringLiteral("MAPI Sendmail failed"));
        return false;
    }
    BCC->clear();
    lbBCC->clear();
    Email1->Reset();
    // A mailing's attachments go with each of its messages.
    if (!bulk) {
        Attach->clear();
        lbAttach->clear();
    }
    return true;
}

// The loop's steps on this dialog's lists and the add-recipients dialog's.
class SendMailSteps : public BulkSendSteps
{
public:
    SendMailSteps(TdlgSendMail &d, const QStringList &fixedTo)
        : m_d(d)
        , m_fixedTo(fixedTo)
        , m_progress(d.m_progress)
    {
    }

    bool addAddress(const QString &address, bool ownMessage) override
    {
        const QString resolved = m_d.Email1->ResolveRecipient(address);
        if (resolved.isEmpty())
            return false;
        if (ownMessage) {
            QListWidget *to = m_d.m_addRecip.lbTo;
            to->clear();
            to->addItems(m_fixedTo);
            to->addItem(resolved);
        } else {
            m_bcc.append(resolved); // shown with its message: one list update, not hundreds
        }
        return true;
    }

    void progress(int position, int total, const QString &address) override
    {
        if (m_clock.isValid() && m_clock.elapsed() < ThrottledProgress::IntervalMs && position + 1 < total)
            return;
        m_clock.start();
        m_progress.update(position, total, QStringLiteral("Sending e-mail to ") + address);
    }

    void pumpEvents() override
    {
        // Often enough that Cancel and Esc are answered at once.
        if (m_pumped.isValid() && m_pumped.elapsed() < 10)
            return;
        m_pumped.start();
        QApplication::processEvents();
    }

    bool breakConfirmed() override
    {
        if (!m_d.BreakRequested)
            return false;
        if (m_d.m_prompts.confirm(QStringLiteral("Really want to break?")) == Prompts::Answer::Yes)
            return true;
        m_d.BreakRequested = false;
        return false;
    }

    void messagePlaced(const QString &lastAddress, int done) override
    {
        m_lastPlaced = lastAddress;
        m_placed = done;
        if (m_d.m_journal)
            m_d.m_journal->placed(lastAddress, m_d.m_placedBefore + done);
    }

    const QString &lastPlaced() const { return m_lastPlaced; }
    int placed() const { return m_placed; }

    void sendMessage() override
    {
        // A message that could not be placed (a full disk, an Outbox that
        // cannot be written) ends the mailing: the rest would fail alike.
        m_d.lbBCC->addItems(m_bcc);
        m_bcc.clear();
        if (!m_d.sendOne(true))
            throw std::runtime_error("a message of the mailing was not sent");
        m_d.lbBCC->clear();
    }

    void hideProgress() { m_progress.hide(); }

private:
    TdlgSendMail &m_d;
    const QStringList &m_fixedTo;
    ThrottledProgress m_progress;
    QElapsedTimer m_clock;
    QElapsedTimer m_pumped;
    QStringList m_bcc;
    QString m_lastPlaced;
    int m_placed = 0;
};

MailingRecord TdlgSendMail::currentMailing() const
{
    MailingRecord m;
    m.subject = edtMessageSubject->text();
    m.text = edtMessageText->toPlainText();
    m.attachments = listItems(lbAttach);
    m.to = listItems(m_addRecip.lbTo);
    m.cc = listItems(m_addRecip.lbCC);
    m.receipt = m_receipt.value_or(m_settings.Acknowledge);
    m.category = m_table.filtered() ? m_table.filterCategory() : QString();
    m.lastPlaced = m_resumeAfter;
    m.placed = m_placedBefore;
    return m;
}

void TdlgSendMail::setResumePoint(const QString &lastPlaced, qint64 placed)
{
    m_resumeAfter = lastPlaced;
    m_placedBefore = placed;
    lblresume->setText(
        QStringLiteral("Sending goes on after %1 (%2 addresses done).").arg(lastPlaced, QString::number(placed)));
    lblresume->setVisible(!lastPlaced.isEmpty());
}

void TdlgSendMail::resume(const MailingRecord &mailing)
{
    edtMessageSubject->setText(mailing.subject);
    edtMessageText->setPlainText(mailing.text);
    lbAttach->clear();
    lbAttach->addItems(mailing.attachments);
    m_addRecip.lbTo->clear();
    m_addRecip.lbTo->addItems(mailing.to);
    m_addRecip.lbCC->clear();
    m_addRecip.lbCC->addItems(mailing.cc);
    m_receipt = mailing.receipt;
    setMainFilter(!mailing.category.isEmpty(), mailing.category);
    setResumePoint(mailing.lastPlaced, mailing.placed);
}

void TdlgSendMail::Button2Click()
{
    if (m_sending)
        return;
    // Without a session no address resolves, and a mailing that sent
    // nothing would be reported as sent.
    if (!Email1->sessionOpen() && Email1->Logon() != 0) {
        m_prompts.error(QStringLiteral("MAPI Logon failed"));
        return;
    }
    if (btnrecalc->isEnabled())
        btnrecalcClick();
    if (btnrecalc->isEnabled()) {
        m_prompts.warning(QStringLiteral("An error was encoutnered creating your recipient list!"));
        return;
    }
    // Recorded before the first message, so a mailing broken off in any way
    // can go on where it stopped instead of mailing anyone twice.
    QString why;
    if (m_journal && !m_journal->begin(currentMailing(), &why)) {
        m_prompts.error(QStringLiteral("An error was encountered sending your e-mail!\n") + why);
        return;
    }
    const QStringList unique = m_recipients->stringList();
    const QStringList addresses = m_resumeAfter.isEmpty() ? unique : recipientsAfter(unique, m_resumeAfter);
    const QStringList fixedTo = listItems(m_addRecip.lbTo);
    SendMailSteps steps(*this, fixedTo);
    BulkSendResult result;
    bool failed = false;
    {
        m_sending = true;
        BreakRequested = false;
        auto end = qScopeGuard([&] {
            m_sending = false;
            steps.hideProgress();
            // The fixed To recipients as they were before the loop, and no
            // blind copies of a message that was not sent.
            m_addRecip.lbTo->clear();
            m_addRecip.lbTo->addItems(fixedTo);
            lbBCC->clear();
            Email1->Reset();
        });
        try {
            result = runBulkSend(addresses, m_settings.SendCount, steps);
        } catch (const std::exception &) {
            failed = true;
        }
    }
    const bool finished = !failed && !result.broken;
    // Sending again from this window goes on where this stopped.
    if (!finished && !steps.lastPlaced().isEmpty())
        setResumePoint(steps.lastPlaced(), m_placedBefore + steps.placed());
    const QString recordProblem = m_journal ? m_journal->end(finished) : QString();
    const bool resumable = m_journal && !finished && m_journal->exists();
    if (failed) {
        m_prompts.error(QStringLiteral("An error was encountered sending your e-mail!"));
    } else {
        m_prompts.information(
            QStringLiteral("Your e-mails to ") + QString::number(result.done)
            + QStringLiteral(" recipients have been sent to your Outlook Outbox.")
            + (resumable ? QStringLiteral("\nThe next start offers to send the rest of the mailing.") : QString()));
    }
    if (!recordProblem.isEmpty())
        m_prompts.warning(recordProblem);
    if (!failed)
        accept();
}
