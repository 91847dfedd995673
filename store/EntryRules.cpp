#include "store/EntryRules.h"

#include "core/AsciiCase.h"
#include "core/LineList.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "store/ErrorLine.h"
#include "store/HandledMessages.h"
#include "store/LoggedSteps.h"
#include "store/MLTable.h"
#include "store/Validation.h"

#include <QStringBuilder>

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

bool isChange(const QString &result)
{
    return result == Entered || result == Deleted || result == Incremented;
}

EntryOutcome outcomeOf(const QString &result)
{
    if (isChange(result))
        return EntryOutcome::Changed;
    if (result == Invalid || result == Blocked)
        return EntryOutcome::Refused;
    return storeFailed(result) ? EntryOutcome::NotStored : EntryOutcome::Unchanged;
}

QString failureOf(const QString &change)
{
    return change == Entered ? InsertFailed : change == Deleted ? DeleteFailed : IncrementFailed;
}
} // namespace

// The lines of one call and the commit of its change (see the header).
class EntryRules::CallLines
{
public:
    explicit CallLines(EntryRules &rules)
        : m_rules(rules)
    {
        // Inside a folder-check message its group holds the lines.
        if (rules.m_log.inGroup() || rules.m_errors.inGroup())
            return;
        m_tag = LoggedSteps::tag(rules.m_run, ++rules.m_step);
        rules.m_log.beginGroup(m_tag);
        rules.m_errors.beginGroup(m_tag);
    }
    // Lines of a call that failed before its commit are rules' answers and
    // reports of failures: they stand.
    ~CallLines() { end(!m_prepared); }
    CallLines(const CallLines &) = delete;
    CallLines &operator=(const CallLines &) = delete;

    // Whether the call commits its own lines with its change; else the
    // group's owner does, and nothing can fail between change and commit.
    bool ownsLines() const { return !m_tag.isEmpty(); }

    // Commits and makes the result's log line. When the commit fails,
    // nothing of the call was stored: a change becomes the failure to
    // store it, reported on the error list too unless it was a count.
    // `request` gives the call's error line without its result.
    template<class LogLine, class Request>
    QString commit(MLTable::Transaction &transaction, QString result, bool commented, const LogLine &logLine,
                   const Request &request)
    {
        bool logged = false;
        try {
            if (!m_tag.isEmpty() && (commented || isChange(result))) {
                logLine(result);
                logged = true;
                LoggedSteps(m_rules.m_table).record(m_tag);
                m_prepared = true;
                m_rules.m_log.prepareGroup();
                m_rules.m_errors.prepareGroup();
            }
            transaction.commit();
            if (m_tag.isEmpty() && (commented || isChange(result)))
                m_rules.m_groupWrote = true;
        } catch (const TableError &e) {
            if (logged)
                end(false);
            logged = false;
            if (isChange(result)) {
                m_rules.m_storageFailure = e;
                const QString failure = failureOf(result);
                if (result != Incremented)
                    m_rules.m_errors.append(request() + QStringLiteral(" -> ") + failure);
                result = failure;
            }
        }
        if (!logged)
            logLine(result);
        end(true);
        return result;
    }

private:
    void end(bool stored)
    {
        if (m_tag.isEmpty() || m_ended)
            return;
        m_ended = true;
        m_rules.m_log.endGroup(stored);
        m_rules.m_errors.endGroup(stored);
    }

    EntryRules &m_rules;
    QByteArray m_tag;
    bool m_prepared = false;
    bool m_ended = false;
};

EntryRules::EntryRules(MLTable &table, const Settings &settings, const RuleLists &lists, LineList &log,
                       LineList &errors)
    : m_table(table)
    , m_settings(settings)
    , m_lists(lists)
    , m_log(log)
    , m_errors(errors)
    , m_run(LoggedSteps::newRun())
{
    // A group's tag is the identity of the message it came from, or a
    // call's step, recorded with the change: the record tells whether that
    // was stored.
    auto stored = [this](const QByteArray &tag) -> std::optional<bool> {
        try {
            // No identity (a mail client that names no items): cannot tell.
            if (tag.isEmpty() || !m_table.active())
                return std::nullopt;
            if (LoggedSteps::isTag(tag))
                return LoggedSteps(m_table).contains(tag);
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

QString EntryRules::add(const QString &address, const QString &category, const QString &comment, bool *commented)
{
    const bool found
        = m_settings.MultipleCategorySupport ? lookUp(m_table, address, &category) : lookUp(m_table, address, nullptr);
    if (found) {
        if (m_settings.UpdateCommentsWhenEntryExists) {
            try {
                m_table.setComments(comment);
                *commented = true;
            } catch (const TableError &) {
                // The entry is there either way; its old comment stays.
            }
        }
        return Exists;
    }
    if (emptyLocalPart(address) || !validemailaddress(address, m_settings, m_lists)) {
        m_errors.append(errorLine(QStringLiteral("ADD"), address, category, Invalid));
        return Invalid;
    }
    if (m_lists.never.contains(lowerAZ(address)))
        return Blocked;
    try {
        m_table.append(address, category, 0, comment);
    } catch (const TableError &e) {
        m_storageFailure = e;
        m_errors.append(errorLine(QStringLiteral("ADD"), address, category, InsertFailed));
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
            m_errors.append(errorLine(QStringLiteral("REMOVE"), address, category, DeleteFailed));
            return DeleteFailed;
        }
        deletedAny = true;
    }
    return deletedAny ? Deleted : NotFound;
}

EntryOutcome EntryRules::insertentry(bool add, const QString &address, const QString &category, const QString &comment)
{
    const QString action = add ? QStringLiteral("ADD") : QStringLiteral("REMOVE");
    const QString resolved = resolveCategory(add, category);
    auto request = [&] { return errorLine(action, address, resolved, QString()); };
    auto logLine = [&](const QString &result) {
        const bool failed = result.isEmpty() || storeFailed(result);
        m_log.append(action % QLatin1Char(' ') % address % QLatin1Char(' ') % resolved % QLatin1String(" [") % comment
                         % QLatin1String("] -> ") % result,
                     failed ? LineList::Keep::Always : LineList::Keep::WithChange);
    };
    CallLines lines(*this);
    std::optional<MLTable::Transaction> transaction;
    QString result;
    bool commented = false;
    try {
        // An add makes its one change after its last look-up; a removal
        // may delete several entries and look up again between them.
        transaction.emplace(m_table, add && !lines.ownsLines() ? MLTable::Transaction::Writes::OneStatement
                                                               : MLTable::Transaction::Writes::Many);
        result = add ? this->add(address, resolved, comment, &commented) : remove(address, resolved);
    } catch (const LookupFailed &f) {
        logLine(QString());
        throw f.error;
    } catch (const TableError &) {
        logLine(QString());
        throw;
    }
    return outcomeOf(lines.commit(*transaction, result, commented, logLine, request));
}

EntryOutcome EntryRules::processbounce(const QString &address)
{
    CallLines lines(*this);
    std::optional<MLTable::Transaction> transaction;
    bool found = false;
    try {
        transaction.emplace(m_table, lines.ownsLines() ? MLTable::Transaction::Writes::Many
                                                       : MLTable::Transaction::Writes::OneStatement);
        found = lookUp(m_table, address, nullptr);
    } catch (const LookupFailed &f) {
        throw f.error;
    }
    QString result = NotFound;
    // A count that cannot grow is the rule's answer, not a storage failure.
    bool atTop = false;
    if (found) {
        const qint64 count = qint64(m_table.current().Bounces) + 1;
        const bool remove = m_settings.BounceMax != 0 && count >= m_settings.BounceMax;
        if (!remove && count > std::numeric_limits<qint32>::max()) {
            result = IncrementFailed;
            atTop = true;
        } else {
            try {
                if (remove)
                    m_table.deleteCurrent();
                else
                    m_table.setBounces(qint32(count));
                result = remove ? Deleted : Incremented;
            } catch (const TableError &e) {
                m_storageFailure = e;
                result = remove ? DeleteFailed : IncrementFailed;
                if (remove)
                    m_errors.append(bounceErrorLine(address, DeleteFailed));
            }
        }
    }
    auto logLine = [&](const QString &r) {
        m_log.append(QLatin1String("Update Undeliverable ") % address % QLatin1String(" -> ") % r,
                     storeFailed(r) && !atTop ? LineList::Keep::Always : LineList::Keep::WithChange);
    };
    result = lines.commit(*transaction, result, false, logLine, [&] { return bounceErrorLine(address, QString()); });
    return atTop ? EntryOutcome::Unchanged : outcomeOf(result);
}
