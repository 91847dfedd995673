#pragma once
// The shared progress window of long jobs: at most one exists at a time.
// While it shows, the job lets events run at each shown update, so the
// window paints and its Cancel (or Esc) is seen; it is application-modal, so
// nothing else can start a second job or close a window under the job.
#include "core/Progress.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;

class TdlgProgress : public QDialog
{
    Q_OBJECT
public:
    explicit TdlgProgress(QWidget *parent = nullptr);

    QLabel *lblmessage;
    QProgressBar *Gauge;
    QPushButton *btnCancel;

    // Set by Cancel, Esc or the window's close; taking it clears it.
    bool takeCancel();

public Q_SLOTS:
    // Esc: the job is asked to stop; the window goes when the job ends.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_cancelled = false;
};

// Gauge position in percent; Position above Total counts as Total. -1 when
// Total is 0 (the gauge keeps its value).
int progressPercent(int position, int total);

class ProgressDisplay
{
public:
    explicit ProgressDisplay(QWidget *mainWindow = nullptr);
    ~ProgressDisplay();

    void showprogress(bool show, int position, int total, const QString &message);
    TdlgProgress *window() const { return m_window; }

    // True once for each stop the user asked for in the window shown now.
    bool takeCancel();
    StopQuery stopQuery()
    {
        return [this] { return takeCancel(); };
    }

private:
    QWidget *m_mainWindow;
    QPointer<TdlgProgress> m_window;
};
