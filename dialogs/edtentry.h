#pragma once
// The list editor of the options dialog: one entry per line in a text box.
#include <QDialog>
#include <QStringList>

#include <functional>

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

// The entries an edited text gives, in the order typed: blank lines are
// skipped; with replaceBlanks a line holding a blank is kept, blanks turned
// to "_", only when keepWithUnderscores() says so; then lower or upper case
// (letters a to z only).
QStringList editedEntries(const QStringList &lines, bool lower, bool upper, bool replaceBlanks,
                          const std::function<bool()> &keepWithUnderscores);
