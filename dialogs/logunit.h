#pragma once
// The log window: the live log, one line per change the program made or
// tried; lines can be edited in place, saved to a file of the user's choice
// or cleared.
#include <QDialog>

class LineList;
class LineListModel;
class Prompts;
class QListView;
class QPushButton;

class Tdlglog : public QDialog
{
    Q_OBJECT
public:
    Tdlglog(LineList &log, Prompts &prompts, QWidget *parent = nullptr);

    void BitBtn2Click(); // Save Log..
    void btnclearlogClick();

    static QString clearQuestion();

    QListView *Memo1; // the log lines
    QPushButton *BitBtn2; // "Save Log.."
    QPushButton *btnclearlog;
    QPushButton *btnClose;

private:
    LineList &m_log;
    Prompts &m_prompts;
    LineListModel *m_model;
};
