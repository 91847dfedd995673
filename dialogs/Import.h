#pragma once
// Reads a text file of addresses, one a line and optionally each with a
// category, and adds, removes or bounces every one of them.
#include "dialogs/addmoreModes.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

class TdlgImport : public QDialog, public ProcessModes
{
    Q_OBJECT
public:
    TdlgImport(ListWorkspace &workspace, Prompts &prompts, ProgressFn progress, QWidget *parent = nullptr);

    static QString fileFilter();
    static QString exampleAddress() { return QStringLiteral("someone@example.org"); }
    static QString openFailedText() { return QStringLiteral("Error encountered opening your import file!"); }

    void FormShow();
    void btnbrowseClick();
    void chkcategoryClick();
    void edtdelimitChange();
    void btnOKClick();

    QLineEdit *edtfile;
    QPushButton *btnbrowse;
    QCheckBox *chkcategory;
    QLineEdit *edtdelimit;
    QLabel *lbleg;
    QPushButton *btnOK;
    QPushButton *btnCancel;

protected:
    void showEvent(QShowEvent *event) override;
};
