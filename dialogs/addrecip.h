#pragma once
// The extra To and CC recipients that every message of a mailing carries.
#include <QDialog>

class Prompts;
class TdlgSendMail;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class TdlgAddRecip : public QDialog
{
    Q_OBJECT
public:
    explicit TdlgAddRecip(Prompts &prompts, QWidget *parent = nullptr);

    // The send dialog whose mail component resolves names and whose blind
    // copies the address book shows.
    void setSendDialog(TdlgSendMail *sendDialog) { m_send = sendDialog; }

    void RecipientExit(QLineEdit *edit);
    void btnToAddClick(QPushButton *button);
    void btnToRemoveClick(QPushButton *button);
    void lbToKeyDown(QListWidget *list);
    void ToButtonClick();

    QLabel *lblinfo;
    QPushButton *ToButton;
    QLineEdit *Recipient;
    QPushButton *btnToAdd;
    QPushButton *btnToRemove;
    QListWidget *lbTo;
    QPushButton *CCButton;
    QLineEdit *CC;
    QPushButton *btnCCAdd;
    QPushButton *btnCCRemove;
    QListWidget *lbCC;
    QPushButton *BitBtn1; // "OK"

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Prompts &m_prompts;
    TdlgSendMail *m_send = nullptr;
};

// Removes the selected item; with none, beeps and points at the first.
void removeSelectedOrPoint(QListWidget *list);
QStringList listItems(const QListWidget *list);
