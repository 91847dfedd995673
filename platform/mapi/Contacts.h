#pragma once
// The contacts the library resolves names against: the vCard files of the
// store's ".Contacts" folder, indexed by display name and nickname.
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

namespace mapistandin {

struct Contact
{
    QString displayName; // FN, else N, else the first nickname
    QStringList nicknames;
    QString email; // the preferred EMAIL, else the first
};

class ContactIndex
{
public:
    void add(const Contact &contact);
    // Contacts whose display name or a nickname equals the name, ignoring
    // letter case; each contact once.
    QVector<const Contact *> find(const QString &name) const;
    // How many distinct addresses carry this display name.
    int addressesForDisplayName(const QString &displayName) const;
    int size() const { return int(m_contacts.size()); }

private:
    QVector<Contact> m_contacts;
    QHash<QString, QVector<int>> m_byName;
};

// Every vCard of a file (a bare vCard file or a message carrying one);
// cards without an address are left out.
QVector<Contact> parseVCards(const QByteArray &bytes);

// The index for a store, from the files of ".Contacts/new" and
// ".Contacts/cur". A file is read again when it changed in any way (added,
// removed, renamed, rewritten in place), or when it changed so recently
// that a further change could leave its times as they are. Safe to call
// from several threads.
std::shared_ptr<const ContactIndex> contactsOf(const QString &storeRoot);

// How often an index was built since the library loaded.
int contactReadCount();

} // namespace mapistandin
