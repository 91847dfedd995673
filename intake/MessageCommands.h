#pragma once
// Recognises what one message of the mailing-list folder asks for and
// applies it: a delivery-failure notice counts bounces, a subscribe or
// unsubscribe command changes the list.
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class EntryRules;
class FailureNotice;
class PhraseSet;
struct RuleLists;
struct Settings;

// One message under work.
struct HeldMessage
{
    QStringList Memo1; // line 0 the subject, then the body's lines
    QString edtdate; // sent date and time as text
    QString edtsender; // the sender's address, or empty
    QString edtemail; // the address to act on
    QString edtcategory; // the category word of the command
    QString deliveryStatus; // the recipient fields of a delivery report, if any
    QString headers; // the header block, read only with delivery reports read
    QString returnedHeaders; // of the message a notice returns, likewise
    bool chkdoadd = false;
};

// What a recognised message asks for, found without touching the list.
struct MessageRequest
{
    bool failure = false; // a delivery-failure notice: count a bounce per address
    // Of the notice: in line order, duplicates kept; with delivery reports
    // read, each failed address once.
    QStringList addresses;
    QString comment; // of a command
    // A recipient reported the list's mail as spam: remove addresses' one.
    bool complaint = false;
};

class MessageCommands
{
public:
    MessageCommands(const Settings &settings, const RuleLists &lists, EntryRules &rules);
    ~MessageCommands();

    // Tests one line for a command, filling chkdoadd, edtemail and edtcategory.
    bool parsecommandline(const QString &line, HeldMessage &message) const;
    // True when the message was recognised (and applied) and is to be deleted.
    // Throws TableError when the list file could not be written: a failure
    // to store is not a rule's answer, and the message must stay.
    bool processEntry(HeldMessage &message);

    // processEntry in two steps, so the folder check can hold the change
    // and the record of the message in one transaction.
    std::optional<MessageRequest> recognise(HeldMessage &message) const;
    // True when the list changed; false when every call got a rule's answer.
    bool apply(const HeldMessage &message, const MessageRequest &request);

    // Splits a body at CR LF, as the held message keeps it.
    static QStringList memoLines(const QString &subject, const QString &body);

private:
    std::optional<MessageRequest> recogniseFailure(const HeldMessage &message) const;
    // With delivery reports read: a notice of a mail system, by what it is.
    // Sets *settled when the message is a notice that must not go on to be
    // read as a command.
    std::optional<MessageRequest> recogniseNotice(const HeldMessage &message, bool *settled) const;
    bool subjectNamesFailure(const QString &subject) const;
    // The failure phrases upper-cased, in the rule list's order.
    const QStringList &failurePhrases() const;

    const Settings &m_settings;
    const RuleLists &m_lists;
    EntryRules &m_rules;
    mutable std::unique_ptr<FailureNotice> m_notices; // made at the first notice
    mutable QStringList m_failedItems; // the phrases m_failedUpper was made from
    mutable QStringList m_failedUpper;
    mutable std::unique_ptr<PhraseSet> m_failedSet; // of m_failedUpper
};
