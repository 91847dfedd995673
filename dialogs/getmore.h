#pragma once
// Harvests addresses from a top-level folder of the mail store into a review
// list, which is then processed like typed addresses.
#include "dialogs/addmoreModes.h"
#include "intake/FolderScan.h"

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

class TdlgGetMore : public QDialog, public ProcessModes
{
    Q_OBJECT
public:
    static constexpr int ListDelayMs = 250;

    TdlgGetMore(ListWorkspace &workspace, Prompts &prompts, ProgressFn progress, QWidget *parent = nullptr);
    ~TdlgGetMore() override;

    static QString commentPrefix() { return QStringLiteral("Retrieval of e-mail addresses from folders at "); }

    FolderScan &folderScan() { return m_scan; }

    void FormShow();
    void OpenBtnClick();
    void lbxfoldersClick();
    void rdbmessagesClick();
    void chktoClick();
    void BitBtn1Click(); // ">>": scan the folder
    void btnProcessAllClick();
    bool FormCloseQuery();

    QListWidget *lbxfolders;
    QRadioButton *rdbmessages;
    QRadioButton *rdbcontacts;
    QPushButton *BitBtn1; // ">>": scan the folder
    QCheckBox *chkfrom;
    QCheckBox *CHKRECIPIENTS;
    QCheckBox *chkbody;
    QPlainTextEdit *memretr;
    QPushButton *btnProcessAll;
    QPushButton *btnClose;
    QTimer Timer1; // lists the folders once the window shows

public Q_SLOTS:
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void appendFound(const QStringList &found);

    FolderScan m_scan;
    bool m_listWait = false;
    bool m_scanning = false;
};
