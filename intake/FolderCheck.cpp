#include "intake/FolderCheck.h"

#include "core/LineList.h"
#include "core/Prompts.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"
#include "platform/outlook/ItemSlots.h"
#include "store/EntryRules.h"
#include "store/HandledMessages.h"
#include "store/MLTable.h"

#include <QDir>

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

using platform::outlook::AutomationError;
using platform::outlook::MemberCall;
using platform::outlook::OleVariant;

// Called for every message: looked up by name once per check, not per call.
struct FolderCheck::Members
{
    MemberCall items{QStringLiteral("Items")};
    MemberCall entryId{QStringLiteral("EntryID")};
    MemberCall messageId{QStringLiteral("InternetMessageID")};
    MemberCall receivedTime{QStringLiteral("ReceivedTime")};
    MemberCall subject{QStringLiteral("subject")};
    MemberCall body{QStringLiteral("body")};
    MemberCall sentOn{QStringLiteral("senton")};
    MemberCall reply{QStringLiteral("Reply")};
    MemberCall recipients{QStringLiteral("Recipients")};
    MemberCall address{QStringLiteral("Address")};
    MemberCall name{QStringLiteral("Name")};
    MemberCall deliveryStatus{QStringLiteral("DeliveryStatus")};
    MemberCall headerText{QStringLiteral("HeaderText")};
    MemberCall returnedHeaders{QStringLiteral("ReturnedHeaders")};
    MemberCall remove{QStringLiteral("delete")};
    MemberCall generation{QStringLiteral("EntryIDGeneration")};
    MemberCall scope{QStringLiteral("EntryIDScope")};
    MemberCall size{QStringLiteral("Size")};
};

FolderCheck::FolderCheck(const Settings &settings, const RuleLists &lists, EntryRules &rules, Prompts &prompts)
    : m_settings(settings)
    , m_prompts(prompts)
    , m_rules(rules)
    , m_commands(settings, lists, rules)
    , m_factory([] { return platform::outlook::CreateOleObject(QStringLiteral("Outlook.Application")); })
{
}

void FolderCheck::setApplicationFactory(std::function<OleVariant()> factory)
{
    m_factory = std::move(factory);
}

bool FolderCheck::openFolder(const OleVariant &root, OleVariant &folder)
{
    const QString name = m_settings.MailingListGroup;
    try {
        folder = root.call(QStringLiteral("Folders"), {name});
        return true;
    } catch (const std::exception &) {
        // Not there (or not readable): offer to create it.
    }
    if (m_prompts.confirm(QStringLiteral("The folder, ") + name
                          + QStringLiteral(", cannot be found.  Would you like to create it?"))
        != Prompts::Answer::Yes)
        return false;
    try {
        root.call(QStringLiteral("Folders")).call(QStringLiteral("add"), {name});
        folder = root.call(QStringLiteral("Folders"), {name});
        return true;
    } catch (const std::exception &e) {
        m_prompts.warning(QStringLiteral("The folder, ") + name + QStringLiteral(", could not be created: ")
                          + QString::fromUtf8(e.what()));
        return false;
    }
}

HeldMessage FolderCheck::readMessage(const OleVariant &item, const Members &call) const
{
    HeldMessage m;
    m.Memo1 = MessageCommands::memoLines(call.subject(item).toText(), call.body(item).toText());
    const QDateTime sent = call.sentOn(item).toDateTime();
    m.edtdate = sent.isValid() ? getdatetimestring(sent) : QString();
    const OleVariant reply = call.reply(item);
    try {
        const OleVariant recipient = call.recipients(reply, {1});
        m.edtsender = call.address(recipient).toText();
        if (m.edtsender.isEmpty()) {
            const QString name = call.name(recipient).toText();
            if (name.contains(QLatin1Char('@')))
                m.edtsender = name;
        }
    } catch (const AutomationError &) {
        m.edtsender.clear();
    }
    m.edtemail = m_settings.allowfromaddressasentry ? m.edtsender : QString();
    if (m_settings.FailedMail && m_settings.ReadDeliveryReports) {
        try {
            m.deliveryStatus = call.deliveryStatus(item).toText();
        } catch (const AutomationError &) {
            m.deliveryStatus.clear(); // a mail client that does not show reports' fields
        }
        try {
            m.headers = call.headerText(item).toText();
            m.returnedHeaders = call.returnedHeaders(item).toText();
        } catch (const AutomationError &) {
            // A client that shows no headers: notices are told by their text alone.
        }
    }
    return m;
}

namespace {

// The log and error lines of one message, held back until its change is
// committed; dropped with it otherwise (but for reports of a failure).
class MessageLines
{
public:
    MessageLines(LineList &log, LineList &errors, const QByteArray &tag)
        : m_log(log)
        , m_errors(errors)
    {
        m_log.beginGroup(tag);
        m_errors.beginGroup(tag);
    }
    ~MessageLines()
    {
        if (!m_done) {
            m_log.endGroup(false);
            m_errors.endGroup(false);
        }
    }
    MessageLines(const MessageLines &) = delete;
    MessageLines &operator=(const MessageLines &) = delete;

    void prepare()
    {
        m_log.prepareGroup();
        m_errors.prepareGroup();
    }
    void keep()
    {
        m_done = true;
        m_log.endGroup(true);
        m_errors.endGroup(true);
    }

private:
    LineList &m_log;
    LineList &m_errors;
    bool m_done = false;
};

// SQLite's primary result codes, as TableError::code() carries them.
constexpr int SqliteBusy = 5;
constexpr int SqliteLocked = 6;
constexpr int SqliteReadOnly = 8;
constexpr int SqliteFull = 13;

QString plainReason(const TableError &e)
{
    switch (e.code() & 0xff) {
    case SqliteReadOnly:
        return QStringLiteral("it is read-only (%1)").arg(e.message());
    case SqliteFull:
        return QStringLiteral("the disk is full (%1)").arg(e.message());
    case SqliteBusy:
    case SqliteLocked:
        return QStringLiteral("another program kept it busy (%1)").arg(e.message());
    default:
        return e.message();
    }
}

} // namespace

QByteArray FolderCheck::identityOf(const OleVariant &item, const Members &call, QString *uniqueName) const
{
    try {
        *uniqueName = call.entryId(item).toText();
    } catch (const AutomationError &) {
        return {}; // a mail client that names no items: its messages go unrecorded
    }
    // One that does offers the Message-ID too; failing to read it is failing
    // to read the message.
    const QString messageId = call.messageId(item).toText();
    // Names that hold only within a generation of the folder (IMAP's UID
    // validity) come with the generation and the message's size.
    std::optional<HandledMessages::Generation> generation;
    if (call.generation.offeredBy(item)) {
        try {
            const qint64 number = call.generation(item).value().toLongLong();
            generation
                = HandledMessages::Generation{call.scope(item).toText(), number, call.size(item).value().toLongLong()};
        } catch (const AutomationError &) {
        }
    }
    return HandledMessages::identity(messageId, *uniqueName, generation);
}

bool FolderCheck::alreadyHandled(const QByteArray &identity) const
{
    MLTable &table = m_rules.table();
    return !identity.isEmpty() && table.active() && HandledMessages(table).contains(identity);
}

void FolderCheck::applyRecorded(const HeldMessage &message, const MessageRequest &request, const QByteArray &identity)
{
    MLTable &table = m_rules.table();
    // A closed table has no transaction; the entry operation then fails its
    // look-up and says so in the log.
    std::optional<MLTable::Transaction> transaction;
    if (table.active())
        transaction.emplace(table);
    MessageLines lines(m_rules.log(), m_rules.errors(), identity.left(16).toHex());
    const bool changed = m_commands.apply(message, request);
    if (transaction) {
        try {
            HandledMessages(table).record(identity);
        } catch (const TableError &) {
            if (changed)
                throw;
            // Only rules' answers (not found, invalid, blocked): nothing to
            // apply twice, so the message is deleted, unrecorded.
            transaction.reset();
            lines.keep();
            return;
        }
    }
    lines.prepare();
    if (transaction)
        transaction->commit();
    lines.keep();
}

QString FolderCheck::stoppedAt(const HeldMessage &message, const QString &uniqueName, const TableError &e) const
{
    const QString path = QDir::toNativeSeparators(m_rules.table().filePath());
    QString text = QStringLiteral("The list file %1 could not be changed: %2.").arg(path, plainReason(e));
    text += QStringLiteral(" The check stopped at the message \"%1\"").arg(message.Memo1.value(0));
    if (!uniqueName.isEmpty())
        text += QStringLiteral(" (file %1)").arg(uniqueName);
    text += QStringLiteral(", which stays in the folder %1 for the next check.").arg(m_settings.MailingListGroup);
    return text;
}

std::vector<int> FolderCheck::receivedOrder(const OleVariant &folder, int count, const Members &call) const
{
    // Instants as numbers: comparing date-times converts their zones each time.
    constexpr qint64 Unknown = std::numeric_limits<qint64>::min();
    std::vector<std::pair<qint64, int>> items;
    items.reserve(count);
    for (int i = 1; i <= count; ++i) {
        qint64 received = Unknown;
        try {
            const QDateTime t = call.receivedTime(call.items(folder, {i})).toDateTime();
            if (t.isValid())
                received = t.toMSecsSinceEpoch();
        } catch (const AutomationError &) {
            // A client without received times keeps its own order; an item
            // that cannot be read comes first and ends the check when read.
        }
        items.emplace_back(received, i);
    }
    std::stable_sort(items.begin(), items.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<int> order;
    order.reserve(items.size());
    for (const auto &item : items)
        order.push_back(item.second);
    return order;
}

void FolderCheck::run(const Progress &progress)
{
    const OleVariant application = m_factory();
    const OleVariant nameSpace = application.call(QStringLiteral("GetNameSpace"), {QStringLiteral("MAPI")});
    const OleVariant root = nameSpace.call(QStringLiteral("Folders"), {QStringLiteral("Personal Folders")});
    OleVariant folder;
    if (!openFolder(root, folder))
        return;
    const int count = folder.call(QStringLiteral("Items")).call(QStringLiteral("Count")).toInt();
    if (progress.setMaximum)
        progress.setMaximum(count);
    // Deleting an item moves the later ones down by one: each item's index
    // now is its place among the listed items not deleted so far, counted
    // without shifting a list of the deleted on every deletion.
    const Members call;
    platform::outlook::ItemSlots left;
    left.reset(size_t(count));
    for (const int listed : receivedOrder(folder, count, call)) {
        if (progress.advance)
            progress.advance();
        const int i = left.indexOf(listed - 1);
        const OleVariant item = call.items(folder, {i});
        QString uniqueName;
        const QByteArray identity = identityOf(item, call, &uniqueName);
        if (!alreadyHandled(identity)) {
            HeldMessage message = readMessage(item, call);
            const std::optional<MessageRequest> request = m_commands.recognise(message);
            if (!request)
                continue;
            try {
                applyRecorded(message, *request, identity);
            } catch (const TableError &e) {
                throw TableError(stoppedAt(message, uniqueName, e), e.code());
            }
        }
        call.remove(item);
        left.remove(listed - 1);
    }
}
