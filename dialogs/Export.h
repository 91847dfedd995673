#pragma once
// The export dialog: which file, which fields, which separator.
#include "core/Progress.h"

#include <QDialog>

class MLTable;
class Prompts;
class QCheckBox;
class QLineEdit;
class QPushButton;

class TdlgExport : public QDialog
{
    Q_OBJECT
public:
    TdlgExport(MLTable &table, Prompts &prompts, ProgressFn progress, QWidget *parent = nullptr);

    static QString fileFilter();
    // The progress window's Cancel.
    void setStopQuery(StopQuery stop) { m_stop = std::move(stop); }

    void saveClick();
    void edtfileChange();
    void btnokClick();

    QLineEdit *edtfile;
    QPushButton *btnSave;
    QCheckBox *chkEmail;
    QCheckBox *chkcategory;
    QCheckBox *chkcomments;
    QLineEdit *edtdelimit;
    QPushButton *btnok;
    QPushButton *btnCancel;

private:
    MLTable &m_table;
    Prompts &m_prompts;
    ProgressFn m_progress;
    StopQuery m_stop;
};
