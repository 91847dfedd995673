#pragma once
// The list editor of the options dialog: one entry per line in a text box.
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class Tdlgeditentries : public QDialog
{
    Q_OBJECT
public:
    explicit Tdlgeditentries(QWidget *parent = nullptr);

    QLabel *Label1;
    QPlainTextEdit *Memo1;
    QPushButton *btnOK;
    QPushButton *btnCancel;
};
