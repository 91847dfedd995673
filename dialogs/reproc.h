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

    // The request of an error line (store/ErrorLine.h); a missing part
    // leaves its field empty.
    void showLine(const QString &errorLine);
    void edtemailChange();

    QRadioButton *rdbadd;
    QRadioButton *rdbremove;
    QLineEdit *edtemail;
    QLineEdit *edtcategory;
    QPushButton *btnok;
    QPushButton *btnCancel;
};
