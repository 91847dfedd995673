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

void FolderScan::setHarvestRules(HarvestRules rules)
{
    m_rules = std::move(rules);
}

FolderScan::Kind FolderScan::kindOf(const QString &folderName) const
{
    // A few items tell; reading more would cost a large folder seconds.
    constexpr int Probed = 3;
    int contacts = 0;
    int others = 0;
    try {
        const OleVariant folder = root().call(QStringLiteral("Folders"), {folderName});
        const int count = folder.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
        for (int i = count; i >= 1 && contacts + others < Probed; --i) {
            try {
                // Only a contact has a first e-mail address to give.
                folder.call(QStringLiteral("Items"), {i}).call(QStringLiteral("Email1Address"));
                ++contacts;
            } catch (const std::exception &) {
                ++others;
            }
        }
    } catch (const std::exception &) {
        contacts = others = 0;
    }
    if (contacts + others > 0)
        return contacts > others ? Kind::Contacts : Kind::Messages;
    return upperAZ(folderName) == QLatin1String("CONTACTS") ? Kind::Contacts : Kind::Messages;
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
        QStringList lines = item.call(QStringLiteral("body")).toText().split(QStringLiteral("\r\n"));
        // A delivery report names the failed addresses in its status part,
        // which need not be the part a mail client shows as the body.
        try {
            // Cut at LF and drop a CR before it: a pattern compiled once a
            // message cost the scan more than reading it did.
            const QString status = item.call(QStringLiteral("DeliveryStatus")).toText();
            if (!status.isEmpty()) {
                for (QString line : status.split(QLatin1Char('\n'))) {
                    if (line.endsWith(QLatin1Char('\r')))
                        line.chop(1);
                    lines.append(line);
                }
            }
        } catch (const std::exception &) {
        }
        QStringList addresses;
        extractemailaddresses(lines, addresses, m_valid);
        found.append(addresses);
    }
}

bool FolderScan::scan(const QString &folderName, Kind kind, const Fields &fields, QStringList &found,
                      const Step &step) const
{
    const OleVariant personal = root();
    OleVariant folder;
    try {
        folder = personal.call(QStringLiteral("Folders"), {folderName});
    } catch (const std::exception &) {
        return false;
    }
    QStringList harvested;
    // Whatever stops the scan, what it found so far is listed.
    struct List
    {
        const HarvestRules &rules;
        QStringList &found;
        const QStringList &harvested;
        ~List() { rules.appendNew(found, harvested); }
    } list{m_rules, found, harvested};
    const int count = folder.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
    for (int i = count; i >= 1; --i) {
        if (step && !step(count - i, count))
            break;
        // What an item added before it failed stays; the next item is read.
        try {
            if (kind == Kind::Contacts)
                addemailaddresses(
                    harvested,
                    folder.call(QStringLiteral("Items"), {i}).call(QStringLiteral("Email1Address")).toText());
            else
                readMessage(folder, i, fields, harvested);
        } catch (const std::exception &) {
        }
    }
    return true;
}
