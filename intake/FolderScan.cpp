#include "intake/FolderScan.h"

#include "core/AsciiCase.h"
#include "intake/StrToStringlist.h"

using platform::outlook::OleVariant;

void addemailaddresses(QStringList &list, const QString &field)
{
    if (field.isEmpty())
        return;
    if (!field.contains(QLatin1Char(';'))) {
        list.append(field);
        return;
    }
    QStringList tokens;
    StrToStringlist(tokens, field, QStringLiteral(";"));
    for (const QString &token : std::as_const(tokens))
        list.append(token.trimmed());
}

FolderScan::FolderScan(AddressTest valid)
    : m_valid(std::move(valid))
    , m_factory([] { return platform::outlook::CreateOleObject(QStringLiteral("Outlook.Application")); })
{
}

void FolderScan::setApplicationFactory(std::function<OleVariant()> factory)
{
    m_factory = std::move(factory);
}

FolderScan::Kind FolderScan::guessKind(const QStringList &folders, int selected)
{
    if (selected <= 0 || selected >= folders.size())
        return Kind::Messages;
    return upperAZ(folders.at(selected)) == QLatin1String("CONTACTS") ? Kind::Contacts : Kind::Messages;
}

OleVariant FolderScan::root() const
{
    return m_factory()
        .call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")})
        .call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")});
}

void FolderScan::listFolders(QStringList &names) const
{
    const OleVariant personal = root();
    const int count = personal.call(QStringLiteral("Folders")).call(QStringLiteral("Count")).toInt();
    for (int i = 1; i <= count; ++i)
        names.append(personal.call(QStringLiteral("Folders"), {i}).call(QStringLiteral("Name")).toText());
}

void FolderScan::readMessage(const OleVariant &folder, int index, const Fields &fields, QStringList &found) const
{
    // One reference to the item and to its recipients serves every read.
    const OleVariant item = folder.call(QStringLiteral("Items"), {index});
    // Read for every item, ticked or not: an item without a reply is no message.
    const OleVariant reply = item.call(QStringLiteral("Reply"));
    QString sender;
    try {
        const OleVariant recipient = reply.call(QStringLiteral("Recipients"), {1});
        sender = recipient.call(QStringLiteral("Address")).toText();
        if (sender.isEmpty()) {
            const QString name = recipient.call(QStringLiteral("Name")).toText();
            if (name.contains(QLatin1Char('@')))
                sender = name;
        }
    } catch (const std::exception &) {
        sender.clear();
    }
    if (fields.from && !sender.isEmpty())
        found.append(sender);
    if (fields.recipients) {
        const OleVariant recipients = item.call(QStringLiteral("Recipients"));
        const int count = recipients.call(QStringLiteral("Count")).toInt();
        for (int j = count; j >= 1; --j) {
            QString address;
            try {
                address = recipients.call(QStringLiteral("Item"), {j}).call(QStringLiteral("Address")).toText();
            } catch (const std::exception &) {
                address.clear();
            }
            if (address.indexOf(QLatin1Char('@')) > 0)
                found.append(address);
        }
    }
    if (fields.body) {
        QStringList addresses;
        extractemailaddresses(item.call(QStringLiteral("body")).toText().split(QStringLiteral("\r\n")), addresses,
                              m_valid);
        found.append(addresses);
    }
}

bool FolderScan::scan(const QString &folderName, Kind kind, const Fields &fields, QStringList &found) const
{
    const OleVariant personal = root();
    OleVariant folder;
    try {
        folder = personal.call(QStringLiteral("Folders"), {folderName});
    } catch (const std::exception &) {
        return false;
    }
    const int count = folder.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
    for (int i = count; i >= 1; --i) {
        // What an item added before it failed stays; the next item is read.
        try {
            if (kind == Kind::Contacts)
                addemailaddresses(found,
                                  folder.call(QStringLiteral("Items"), {i}).call(QStringLiteral("Email1Address")).toText());
            else
                readMessage(folder, i, fields, found);
        } catch (const std::exception &) {
        }
    }
    return true;
}
