#pragma once
// Recognises what one message of the mailing-list folder asks for and
// applies it: a delivery-failure notice counts bounces, a subscribe or
// unsubscribe command changes the list.
#include <QString>
#include <QStringList>

class EntryRules;
struct RuleLists;
struct Settings;

// One message under work.
struct HeldMessage
{
    QStringList Memo1;   // line 0 the subject, then the body's lines
    QString edtdate;     // sent date and time as text
    QString edtsender;   // the sender's address, or empty
    QString edtemail;    // the address to act on
    QString edtcategory; // the category word of the command
    bool chkdoadd = false;
};

class MessageCommands
{
public:
    MessageCommands(const Settings &settings, const RuleLists &lists, EntryRules &rules);

    // Tests one line for a command, filling chkdoadd, edtemail and edtcategory.
    bool parsecommandline(const QString &line, HeldMessage &message) const;
    // True when the message was recognised (and applied) and is to be deleted.
    bool processEntry(HeldMessage &message);

    // Splits a body at CR LF, as the held message keeps it.
    static QStringList memoLines(const QString &subject, const QString &body);

private:
    bool processFailure(const HeldMessage &message);

    const Settings &m_settings;
    const RuleLists &m_lists;
    EntryRules &m_rules;
};
