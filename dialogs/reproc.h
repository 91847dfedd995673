#pragma once
// Corrects one rejected entry before it goes through the entry operation again.
#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

class Tdlgreprocess : public QDialog
{
    Q_OBJECT
public:
    explicit Tdlgreprocess(QWidget *parent = nullptr);

    // Action word, address, category, as an error line holds them; a missing
    // word leaves its field empty.
    void showLine(const QString &errorLine);
    void edtemailChange();

    QRadioButton *rdbadd;
    QRadioButton *rdbremove;
    QLineEdit *edtemail;
    QLineEdit *edtcategory;
    QPushButton *btnok;
    QPushButton *btnCancel;
};
