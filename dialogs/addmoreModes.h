#pragma once
// How harvested, typed or imported addresses are processed: add with a
// category, remove from all categories or one, or count as undeliverable.
// The same controls and rules in the import, manual entry and scan windows.
#include "core/Progress.h"

#include <QString>
#include <QStringList>

#include <optional>

struct ListWorkspace;
class Prompts;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QRadioButton;
class QWidget;
struct ImportServices;

class ProcessModes
{
public:
    // How the user stops a run from the progress window.
    void setStopQuery(StopQuery stop) { m_stop = std::move(stop); }

    QLabel *Label4; // "Category:"
    QRadioButton *rdbadd;
    QLineEdit *edtcategory;
    QRadioButton *rdbremove;
    QRadioButton *rdbremoveall;
    QRadioButton *rdbremovecat;
    QLineEdit *edtremovecat;
    QRadioButton *rdbbounce;

    // The enabling rule of the category fields and the removal choice.
    void rdbaddClick();

    static QString unprocessedQuestion()
    {
        return QStringLiteral("You still have entries that you have not processed.  Are you sure you want to close?");
    }
    static QString missingCategoryText()
    {
        return QStringLiteral("You have not entered a category to remove these addresses from!");
    }

protected:
    ProcessModes(ListWorkspace &workspace, Prompts &prompts, ProgressFn progress);

    // Adds the question and the controls to the layout; each radio button
    // click runs rdbaddClick through the context object.
    void buildModes(QWidget *parent, QObject *context, QBoxLayout *layout, const QString &question);

    // "Process Entries" and "Close" at the bottom right of the form.
    static void addProcessButtons(QWidget *parent, QBoxLayout *form, QPushButton *&process, QPushButton *&close);

    // Remove from one category with none typed.
    bool removeCategoryMissing() const;
    // Empty for removal from all categories.
    QString chosenCategory() const;
    ImportServices services() const;
    // The close prompt: more than five characters left unprocessed ask first.
    bool mayClose(const QString &unprocessed) const;

    // Says so and returns nothing when a category to remove from is missing;
    // else runs every line through the batch routine and returns those the
    // user still has: not stored, or not reached when the run stopped.
    std::optional<QStringList> processLines(const QStringList &lines, const QString &commentPrefix);

    ListWorkspace &m_workspace;
    Prompts &m_prompts;
    ProgressFn m_progress;
    StopQuery m_stop;
};
