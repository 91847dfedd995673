#pragma once
// The small window in which the mailing-list folder check runs: it starts
// the check once it has been painted and closes itself when the check ends.
#include <QDialog>
#include <QTimer>

#include <memory>

class FolderCheck;
class QLabel;
class QProgressBar;

class TfrmExtractentries : public QDialog
{
    Q_OBJECT
public:
    static constexpr int StartDelayMs = 350;

    // The check is owned by the caller and must outlive the window.
    explicit TfrmExtractentries(FolderCheck &check, QWidget *parent = nullptr);

    void FormShow();
    void OpenBtnClick();

    // The text of the failure that ended the check early, if any.
    QString failure() const { return m_failure; }

    QLabel *Label1; // "Accessing Outlook Entries.."
    QProgressBar *ProgressBar1;
    QTimer Timer1; // starts the check once the window shows

protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;

private:
    FolderCheck &m_check;
    QString m_failure;
    bool m_running = false;
};
