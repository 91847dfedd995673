#pragma once
// Typed or pasted addresses, processed in one go.
#include "dialogs/addmoreModes.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TdlgEnterMore : public QDialog, public ProcessModes
{
    Q_OBJECT
public:
    TdlgEnterMore(ListWorkspace &workspace, Prompts &prompts, ProgressFn progress, QWidget *parent = nullptr);

    static QString commentPrefix() { return QStringLiteral("Manual insertion of addresses at "); }

    void btnProcessAllClick();
    // False when the user chose to keep typed entries open.
    bool FormCloseQuery();

    QPlainTextEdit *memin;
    QPushButton *btnProcessAll;
    QPushButton *btnClose;

public Q_SLOTS:
    void reject() override;
};
