#pragma once
// The options dialog. It lives for the whole run and edits the settings and
// rule lists in place: the program reads what the user changes here at once,
// except the four values OK derives (folder name, recipients per message,
// multiple categories, category restriction). OK stores everything; Cancel
// reads everything back from storage; closing by the title bar stores nothing.
#include "commands/OptionsEdit.h"

#include <QDialog>
#include <QString>

class Prompts;
class RuleList;
struct RuleLists;
struct Settings;
class QCheckBox;
class SendingAccountBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class TMailAccountPage;

class Tdlgoptions : public QDialog
{
    Q_OBJECT
public:
    Tdlgoptions(Settings &settings, RuleLists &lists, Prompts &prompts, QWidget *parent = nullptr);

    void setProgramDir(const QString &programDir) { m_edit.setProgramDir(programDir); }

    void FormShow();
    void BitBtn1Click(); // OK
    void BitBtn2Click(); // Cancel
    void EditEntries(QListWidget *list);
    void chkExceptClick();
    void rdbrestrictcategoriesClick();
    void rdbsingleemailClick();
    void chkfailedmailClick();

    static QString spaceQuestion() { return OptionsEdit::spaceQuestion(); }

    QTabWidget *PageControl1; // the tabs
    QPushButton *BitBtn1; // "OK"
    QPushButton *BitBtn2; // "Cancel"

    // General
    QLineEdit *edtmaillistgroup;
    QCheckBox *chkautoscan;
    QGroupBox *rgpScanAllEmailLines;
    QRadioButton *rdbScanFirstLines;
    QRadioButton *rdbScanAllLines;
    QCheckBox *chkUpdateCommentsWhenEntryExists;
    QCheckBox *chkallowfromaddressasentry;
    // Categories
    QGroupBox *rgpMultipleCategorySupport;
    QRadioButton *rdbSingleCategory;
    QRadioButton *rdbMultipleCategories;
    QRadioButton *rdballcats;
    QRadioButton *rdbrestrictcategories;
    QListWidget *lbxcategories;
    QPushButton *edtcategories;
    QLabel *lblcats;
    QLineEdit *edtAlternativeCategory;
    QLineEdit *edtdefaultcategory;
    // Synonyms
    QListWidget *lbxAddStrings;
    QPushButton *btnsubsynonyms;
    QListWidget *lbxRemovalStrings;
    QPushButton *btnunsubsynonyms;
    // Exceptions
    QCheckBox *chkExcept;
    QLabel *Label1; // "Please enter your own exceptions here. ..."
    QListWidget *lbxexceptions;
    QPushButton *btninvalidentries;
    QListWidget *lbxneversubscribe;
    QPushButton *btnneverjoin;
    // Sending Mail
    QRadioButton *rdbsingleemail;
    QRadioButton *rdbmultiemail;
    QLabel *Label8; // "Messages are sent by adding recipients to the BCC: line ..."
    QLabel *Label2; // "Maximum number of recipients per message:"
    QSpinBox *spnmaxsendcount;
    QLineEdit *defaulttoaddress;
    QCheckBox *AcknowledgeCheck;
    // Delivery Failure
    QCheckBox *chkfailedmail;
    QCheckBox *chkreaddeliveryreports;
    QCheckBox *chkremovecomplainers;
    QLabel *Label4; // "Subject lines containing the following strings ..."
    QListWidget *lbxfailure;
    QPushButton *btndeliveryfailure;
    QLabel *Label5; // "Remove e-mail addresses that have bounced more than"
    QSpinBox *spnbouncemax;
    QLabel *Label6; // "times"
    // Mail Account
    SendingAccountBox *sendingAccount; // the page's "Sending the Outbox"
    TMailAccountPage *pgMailAccount;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *buildGeneral();
    QWidget *buildCategories();
    QWidget *buildSynonyms();
    QWidget *buildExceptions();
    QWidget *buildSending();
    QWidget *buildDeliveryFailure();
    void connectControls();
    // Every control from the settings and lists, derived ones included.
    void showValues();
    void showList(QListWidget *box);
    RuleList RuleLists::*listOf(QListWidget *box) const;
    QListWidget *boxOf(QPushButton *edit) const;

    Settings &m_settings;
    RuleLists &m_lists;
    Prompts &m_prompts;
    OptionsEdit m_edit;
};
