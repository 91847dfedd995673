#pragma once
// The send-to-list dialog: a subject, a body and attachments, sent to every
// unique address of the list or of one category, many per message in the
// blind copies.
#include "core/Progress.h"
#include "mail/MailingJournal.h"

#include <QDialog>
#include <QElapsedTimer>

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
class QListView;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStringListModel;

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
    void setJournal(MailingJournal *journal) { m_journal = journal; }
    // A recorded mailing that was broken off: its message, extra recipients,
    // receipt and category, and a send that goes on after its last address
    // placed. Called before the dialog shows.
    void resume(const MailingRecord &mailing);

    // Logs on to the mail system; throws EMapiUnavailable when there is none.
    // The opener calls it right after construction.
    void FormCreate();
    void FormShow();
    void rdballClick();
    void edtfilterChange();
    void btnrecalcClick();
    void SendClick();
    void Button2Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void AttachButtonClick();
    void AttachExit();
    // Refuses the open list file: reading it would drop our locks on it.
    void addAttachment(const QString &file);
    void btnAddClick(QPushButton *button);
    void btnRemoveClick(QPushButton *button);
    void RecipientExit(QLineEdit *edit);

    // A typed name as the mail system resolves it; empty when it does not.
    QString resolve(const QString &typed);
    bool sending() const { return m_sending; }
    QStringList uniqueList() const;

    bool BreakRequested = false;

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
    QGroupBox *GroupBox1;
    QLineEdit *edtMessageSubject;
    QPlainTextEdit *edtMessageText;
    QPushButton *AttachButton;
    QLineEdit *Attach;
    QPushButton *btnAttachAdd;
    QPushButton *btnAttachRemove;
    QListWidget *lbAttach;
    QPushButton *BitBtn2;
    QPushButton *btnsendtest;
    QPushButton *btnsendbulk;
    QPushButton *BitBtn1;
    QListView *lbxrecipients;
    QLabel *lblresume;
    std::unique_ptr<TEmail> Email1;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void done(int result) override;

private:
    friend class SendMailSteps;

    void buildControls();
    // One message from the dialog's lists; true when it was handed over.
    // A bulk send keeps the attachments for the next message.
    bool sendOne(bool bulk);
    void FormClose();
    // The mailing as the dialog holds it, from where it goes on.
    MailingRecord currentMailing() const;
    void setResumePoint(const QString &lastPlaced, qint64 placed);

    MLTable &m_table;
    const Settings &m_settings;
    Prompts &m_prompts;
    ProgressFn m_progress;
    TdlgAddRecip &m_addRecip;
    QStringListModel *m_recipients;
    bool m_mainFiltered = false;
    QString m_mainCategory;
    // The table's filter before the dialog changed it, put back on close.
    bool m_savedFiltered;
    QString m_savedCategory;
    bool m_sending = false;
    bool m_shown = false;
    MailingJournal *m_journal = nullptr;
    // A resumed mailing's receipt, and where a broken-off one goes on.
    std::optional<bool> m_receipt;
    QString m_resumeAfter;
    qint64 m_placedBefore = 0;
};
