#include "store/EntryRules.h"

#include "core/AsciiCase.h"
#include "core/LineList.h"
#include "core/RuleList.h"
#include "core/Settings.h"
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
} // namespace

EntryRules::EntryRules(MLTable &table, const Settings &settings, const RuleLists &lists, LineList &log,
                       LineList &errors)
    : m_table(table)
    , m_settings(settings)
    , m_lists(lists)
    , m_log(log)
    , m_errors(errors)
{
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
    if (!validemailaddress(address, m_settings, m_lists)) {
        m_errors.append(QStringLiteral("ADD ") + address + QLatin1Char(' ') + category);
        return Invalid;
    }
    if (m_lists.never.contains(lowerAZ(address)))
        return Blocked;
    try {
        m_table.append(address, category, 0, comment);
    } catch (const TableError &) {
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
        } catch (const TableError &) {
            m_errors.append(QStringLiteral("REMOVE ") + address + QLatin1Char(' ') + category);
            return DeleteFailed;
        }
        deletedAny = true;
    }
    return deletedAny ? Deleted : NotFound;
}

void EntryRules::insertentry(bool add, const QString &address, const QString &category, const QString &comment)
{
    const QString action = add ? QStringLiteral("ADD") : QStringLiteral("REMOVE");
    const QString resolved = resolveCategory(add, category);
    const QString errorLine = action + QLatin1Char(' ') + address + QLatin1Char(' ') + resolved;
    auto logLine = [&](const QString &result) {
        m_log.append(action + QLatin1Char(' ') + address + QLatin1Char(' ') + resolved + QStringLiteral(" [")
                     + comment + QStringLiteral("] -> ") + result);
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
    } catch (const TableError &) {
        // Nothing of this call was stored.
        if (result == Entered || result == Deleted) {
            result = result == Entered ? InsertFailed : DeleteFailed;
            m_errors.append(errorLine);
        }
    }
    logLine(result);
}

void EntryRules::processbounce(const QString &address)
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
    if (found) {
        const qint64 count = qint64(m_table.current().Bounces) + 1;
        const bool remove = m_settings.BounceMax != 0 && count >= m_settings.BounceMax;
        try {
            if (remove)
                m_table.deleteCurrent();
            else if (count > std::numeric_limits<qint32>::max())
                throw TableError(QStringLiteral("The bounce count cannot grow any further."));
            else
                m_table.setBounces(qint32(count));
            transaction->commit();
            result = remove ? Deleted : Incremented;
        } catch (const TableError &) {
            result = remove ? DeleteFailed : IncrementFailed;
            if (remove)
                m_errors.append(QStringLiteral("REMOVE ") + address);
        }
    }
    m_log.append(QStringLiteral("Update Undeliverable ") + address + QStringLiteral(" -> ") + result);
}
