#pragma once
// Which harvested addresses the folder scan lists: each address once, and
// none of the list owner's own or of the mail system's. A folder of returned
// mail names the owner as sender and mailer-daemon as author on every
// message; neither belongs on the list.
#include <QSet>
#include <QString>
#include <QStringList>

struct Settings;

class HarvestRules
{
public:
    explicit HarvestRules(const QStringList &ownAddresses = {});

    // The owner's addresses as the program knows them: the default mail
    // profile's sender and the address every mailing goes To.
    static QStringList ownAddresses(const Settings &settings);

    // False for the owner's addresses and for mailer-daemon and postmaster.
    bool keeps(const QString &address) const;

    // Appends each kept address of more that list does not hold yet, letter
    // case and surrounding blanks ignored; the first spelling stays.
    void appendNew(QStringList &list, const QStringList &more) const;

private:
    QSet<QString> m_own;
};

// The bare address of "Name <local@domain>", lower-cased (a to z), trimmed.
QString addressKey(const QString &text);
