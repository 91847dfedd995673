#pragma once
// The error window: the live list of entries that could not be processed.
// Lines can be deleted, or corrected and sent through the entry operation again.
#include <QDialog>

class EntryRules;
class LineList;
class LineListModel;
class Prompts;
class QListView;
class QPushButton;

class Tdlgerrors : public QDialog
{
    Q_OBJECT
public:
    Tdlgerrors(LineList &errors, EntryRules &rules, Prompts &prompts, QWidget *parent = nullptr);

    void btndeleteentryClick();
    void BitBtn1Click(); // Reprocess Entry..

    static QString reprocessComment();

    QListView *lbxerrors;
    QPushButton *btndeleteentry;
    QPushButton *BitBtn1; // "Reprocess Entry.."
    QPushButton *btnClose;

private:
    // Nothing to delete or reprocess in an empty list.
    void enableButtons();

    LineList &m_errors;
    EntryRules &m_rules;
    Prompts &m_prompts;
    LineListModel *m_model;
};
