#pragma once
// The send-to-list dialog: it shows the message being put together (a
// subject, a body, attachments) and the list's count under its category
// filter, and answers the Mailing's progress and stop question as it sends.
#include "commands/CategoryView.h"
#include "commands/Mailing.h"
#include "core/Progress.h"

#include <QDialog>

#include <memory>
#include <optional>

class MLTable;
class Prompts;
class SMapi;
class TEmail;
class TdlgAddRecip;
struct Settings;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

class TdlgSendMail : public QDialog
{
    Q_OBJECT
public:
    TdlgSendMail(MLTable &table, const SMapi &mapi, const Settings &settings, Prompts &prompts, ProgressFn progress,
                 TdlgAddRecip &addRecip, QWidget *parent = nullptr);
    // Logs off.
    ~TdlgSendMail() override;

    // The main window's filter choice, copied when the dialog shows.
    void setMainFilter(bool filtered, const QString &category);
    // Where a mailing is recorded as it goes; without one nothing is.
    void setJournal(MailingJournal *journal) { m_mailing.setJournal(journal); }
    // The progress window's Cancel, for the count and the send.
    void setStopQuery(StopQuery stop);
    // A recorded mailing that was broken off: its message, extra recipients,
    // receipt and category, and a send that goes on after its last address
    // placed. Called before the dialog shows.
    void resume(const MailingRecord &record);

    // Logs on to the mail system; throws EMapiUnavailable when there is none.
    // The opener calls it right after construction.
    void FormCreate();
    void FormShow();
    void rdballClick();
    void edtfilterChange();
    void btnrecalcClick();
    void SendClick();
    void Button2Click(); // "Send Message to List"
    void BitBtn1Click(); // "Cancel"
    void BitBtn2Click(); // "Add Recipients to all Sent Messages.."
    void AttachButtonClick();
    void AttachExit();
    // Refuses the open list file: reading it would drop our locks on it.
    void addAttachment(const QString &file);
    void btnAddClick(QPushButton *button);
    void btnRemoveClick(QPushButton *button);
    void RecipientExit(QLineEdit *edit);

    // A typed name as the mail system resolves it; empty when it does not.
    QString resolve(const QString &typed) { return m_mailing.resolve(typed); }
    bool sending() const { return m_mailing.sending(); }
    QStringList uniqueList() const { return m_mailing.recipients(); }
    // The message as the window shows it.
    MessageDraft draft() const;

    QGroupBox *Instructions;
    QRadioButton *rdball;
    QRadioButton *rdbfilter;
    QLineEdit *edtfilter;
    QLabel *lblcount;
    QPushButton *btnrecalc;
    QPushButton *BCCButton;
    QLineEdit *BCC;
    QPushButton *btnBCCAdd;
    QPushButton *btnBCCRemove;
    QListWidget *lbBCC;
    QGroupBox *GroupBox1; // "Message"
    QLineEdit *edtMessageSubject;
    QPlainTextEdit *edtMessageText;
    QPushButton *AttachButton;
    QLineEdit *Attach;
    QPushButton *btnAttachAdd;
    QPushButton *btnAttachRemove;
    QListWidget *lbAttach;
    QPushButton *BitBtn2; // "Add Recipients to all Sent Messages.."
    QPushButton *btnsendtest;
    QPushButton *btnsendbulk;
    QPushButton *BitBtn1; // "Cancel"
    QLabel *lblresume;
    std::unique_ptr<TEmail> Email1;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;

private:
    void buildControls();
    void FormClose();
    void showDraft(const MessageDraft &draft);
    void showResumePoint();
    // The blind copies of a message sent are gone from the window.
    void clearBlindCopies();
    void setCallbacks(StopQuery stop);

    const Settings &m_settings;
    Prompts &m_prompts;
    ProgressFn m_progress;
    TdlgAddRecip &m_addRecip;
    CategoryView m_view;
    Mailing m_mailing;
    bool m_mainFiltered = false;
    QString m_mainCategory;
    // The table's filter before the dialog changed it, put back on close.
    CategoryView::SavedFilter m_savedFilter;
    bool m_shown = false;
    // A resumed mailing's receipt; else the options' at the time of sending.
    std::optional<bool> m_receipt;
};
