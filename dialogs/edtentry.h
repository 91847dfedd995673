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

    QLabel *Label1; // "Please enter your entries here. ..."
    QPlainTextEdit *Memo1; // the list being edited, one entry a line
    QPushButton *btnOK;
    QPushButton *btnCancel;
};
