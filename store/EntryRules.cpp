#include "store/EntryRules.h"

#include "core/AsciiCase.h"
#include "core/LineList.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "store/HandledMessages.h"
#include "store/MLTable.h"
#include "store/Validation.h"

#include <limits>
#include <optional>

namespace {
const QString Entered = QStringLiteral("Entered Successfully");
const QString Exists = QStringLiteral("Entry already exists!");
const QString Invalid = QStringLiteral("Not Added: Invalid E-mail Address!");
const QString Blocked = QStringLiteral("Not Added: E-mail Address disallowed by rule!");
const QString InsertFailed = QStringLiteral("Error inserting into database!");
const QString Deleted = QStringLiteral("Entry successfully deleted!");
const QString NotFound = QStringLiteral("E-mail address not found!");
const QString DeleteFailed = QStringLiteral("Entry could not be deleted!");
const QString Incremented = QStringLiteral("Bounce count incremented!");
const QString IncrementFailed = QStringLiteral("Bounce count could not be incremented!");

// Thrown by a look-up; everything else that fails is a result text.
struct LookupFailed
{
    TableError error;
};

bool lookUp(MLTable &table, const QString &address, const QString *category)
{
    try {
        return category ? table.locate(address, *category) : table.locate(address);
    } catch (const TableError &e) {
        throw LookupFailed{e};
    }
}

// A failure to store stands in the log even when the folder check undoes
// the rest of its message (LineList::Keep).
bool storeFailed(const QString &result)
{
    return result == InsertFailed || result == DeleteFailed || result == IncrementFailed;
}

EntryOutcome outcomeOf(const QString &result)
{
    if (result == Entered || result == Deleted || result == Incremented)
        return EntryOutcome::Changed;
    return storeFailed(result) ? EntryOutcome::NotStored : EntryOutcome::Unchanged;
}
} // namespace

EntryRules::EntryRules(MLTable &table, const Settings &settings, const RuleLists &lists, LineList &log,
                       LineList &errors)
    : m_table(table)
    , m_settings(settings)
    , m_lists(lists)
    , m_log(log)
    , m_errors(errors)
{
    // A group's tag is the identity of the message it came from, recorded
    // with the message's change: its record tells whether that was stored.
    auto stored = [this](const QByteArray &tag) -> std::optional<bool> {
        try {
            // No identity (a mail client that names no items): cannot tell.
            if (tag.isEmpty() || !m_table.active())
                return std::nullopt;
            return HandledMessages(m_table).contains(QByteArray::fromHex(tag));
        } catch (const TableError &) {
            return std::nullopt;
        }
    };
    m_log.setGroupCheck(stored);
    m_errors.setGroupCheck(stored);
}

EntryRules::~EntryRules()
{
    m_log.setGroupCheck({});
    m_errors.setGroupCheck({});
}

TableError EntryRules::lastStorageFailure() const
{
    return m_storageFailure.value_or(TableError(QStringLiteral("The list file could not be written.")));
}

QString EntryRules::resolveCategory(bool add, QString category) const
{
    if (!add && upperAZ(category) == QLatin1String("ALL"))
        category.clear();
    if (category.isEmpty())
        return add ? m_settings.defaultcategory : QString();
    if (m_settings.RestrictCategories && !m_lists.cats.contains(category)
        && !sameTextAZ(category, m_settings.defaultcategory))
        return m_settings.AlternativeCategory;
    return category;
}

QString EntryRules::add(const QString &address, const QString &category, const QString &comment)
{
    const bool found = m_settings.MultipleCategorySupport ? lookUp(m_table, address, &category)
                                                          : lookUp(m_table, address, nullptr);
    if (found) {
        if (m_settings.UpdateCommentsWhenEntryExists) {
            try {
                m_table.setComments(comment);
            } catch (const TableError &) {
                // The entry is there either way; its old comment stays.
            }
        }
        return Exists;
    }
    if (emptyLocalPart(address) || !validemailaddress(address, m_settings, m_lists)) {
        m_errors.append(QStringLiteral("ADD ") + address + QLatin1Char(' ') + category);
        return Invalid;
    }
    if (m_lists.never.contains(lowerAZ(address)))
        return Blocked;
    try {
        m_table.append(address, category, 0, comment);
    } catch (const TableError &e) {
        m_storageFailure = e;
        m_errors.append(QStringLiteral("ADD ") + address + QLatin1Char(' ') + category);
        return InsertFailed;
    }
    return Entered;
}

QString EntryRules::remove(const QString &address, const QString &category)
{
    const bool byPair = m_settings.MultipleCategorySupport && !category.isEmpty();
    bool deletedAny = false;
    while (lookUp(m_table, address, byPair ? &category : nullptr)) {
        try {
            m_table.deleteCurrent();
        } catch (const TableError &e) {
            m_storageFailure = e;
            m_errors.append(QStringLiteral("REMOVE ") + address + QLatin1Char(' ') + category);
            return DeleteFailed;
        }
        deletedAny = true;
    }
    return deletedAny ? Deleted : NotFound;
}

EntryOutcome EntryRules::insertentry(bool add, const QString &address, const QString &category,
                                     const QString &comment)
{
    const QString action = add ? QStringLiteral("ADD") : QStringLiteral("REMOVE");
    const QString resolved = resolveCategory(add, category);
    const QString errorLine = action + QLatin1Char(' ') + address + QLatin1Char(' ') + resolved;
    auto logLine = [&](const QString &result) {
        const bool failed = result.isEmpty() || storeFailed(result);
        m_log.append(action + QLatin1Char(' ') + address + QLatin1Char(' ') + resolved + QStringLiteral(" [")
                         + comment + QStringLiteral("] -> ") + result,
                     failed ? LineList::Keep::Always : LineList::Keep::WithChange);
    };
    std::optional<MLTable::Transaction> transaction;
    QString result;
    try {
        transaction.emplace(m_table);
        result = add ? this->add(address, resolved, comment) : remove(address, resolved);
    } catch (const LookupFailed &f) {
        logLine(QString());
        throw f.error;
    } catch (const TableError &) {
        logLine(QString());
        throw;
    }
    try {
        transaction->commit();
    } catch (const TableError &e) {
        // Nothing of this call was stored.
        if (result == Entered || result == Deleted) {
            m_storageFailure = e;
            result = result == Entered ? InsertFailed : DeleteFailed;
            m_errors.append(errorLine);
        }
    }
    logLine(result);
    return outcomeOf(result);
}

EntryOutcome EntryRules::processbounce(const QString &address)
{
    std::optional<MLTable::Transaction> transaction;
    bool found = false;
    try {
        transaction.emplace(m_table);
        found = lookUp(m_table, address, nullptr);
    } catch (const LookupFailed &f) {
        throw f.error;
    }
    QString result = NotFound;
    EntryOutcome outcome = EntryOutcome::Unchanged;
    if (found) {
        const qint64 count = qint64(m_table.current().Bounces) + 1;
        const bool remove = m_settings.BounceMax != 0 && count >= m_settings.BounceMax;
        if (!remove && count > std::numeric_limits<qint32>::max()) {
            // A count that cannot grow is the rule's answer, not a storage failure.
            result = IncrementFailed;
        } else {
            try {
                if (remove)
                    m_table.deleteCurrent();
                else
                    m_table.setBounces(qint32(count));
                transaction->commit();
                result = remove ? Deleted : Incremented;
                outcome = EntryOutcome::Changed;
            } catch (const TableError &e) {
                m_storageFailure = e;
                result = remove ? DeleteFailed : IncrementFailed;
                outcome = EntryOutcome::NotStored;
                if (remove)
                    m_errors.append(QStringLiteral("REMOVE ") + address);
            }
        }
    }
    m_log.append(QStringLiteral("Update Undeliverable ") + address + QStringLiteral(" -> ") + result,
                 outcome == EntryOutcome::NotStored ? LineList::Keep::Always : LineList::Keep::WithChange);
    return outcome;
}
