#pragma once
// What the options window does, without its widgets. The window edits the
// settings and rule lists in place; OK derives four values from its choices
// and stores everything, Cancel reads everything back from storage.
#include <QString>
#include <QStringList>

class Prompts;
class RuleList;
struct RuleLists;
struct Settings;

// The window's choices that only OK turns into settings.
struct DerivedChoices
{
    bool singleMessage = false; // one address a message
    int maxSendCount = 0;
    bool multipleCategories = false;
    bool restrictCategories = false;
    QString folder;
    QString defaultCategory;
    QString alternativeCategory;
};

class OptionsEdit
{
public:
    OptionsEdit(Settings &settings, RuleLists &lists, Prompts &prompts);

    void setProgramDir(const QString &programDir) { m_programDir = programDir; }

    // The choices as the settings in force give them.
    DerivedChoices current() const;
    // OK: derives the four values, an empty text taking its default, and
    // stores the settings and lists. Gives the choices as now in force.
    DerivedChoices apply(const DerivedChoices &choices);
    // Cancel: settings and lists as stored; a list without a file as on a
    // fresh start, so its unsaved edits go too.
    void reload();
    // "Edit..": the typed lines become the list's entries by its rules.
    void editList(RuleList RuleLists::*list, const QStringList &lines);

    static QString spaceQuestion();

private:
    Settings &m_settings;
    RuleLists &m_lists;
    Prompts &m_prompts;
    QString m_programDir;
};
