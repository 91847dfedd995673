#pragma once
// The shared progress window of long jobs: at most one exists at a time.
#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;

class TdlgProgress : public QDialog
{
    Q_OBJECT
public:
    explicit TdlgProgress(QWidget *parent = nullptr);

    QLabel *lblmessage;
    QProgressBar *Gauge;
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

private:
    QWidget *m_mainWindow;
    QPointer<TdlgProgress> m_window;
};
