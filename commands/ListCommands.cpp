#include "commands/ListCommands.h"

#include "core/AsciiCase.h"
#include "core/Prompts.h"
#include "core/RuleList.h"
#include "core/TextFile.h"
#include "store/MLdata.h"
#include "store/exportlist.h"

#include <QDir>

#include <climits>
#include <exception>

class ListCommands::Hold
{
public:
    explicit Hold(const std::function<void(bool)> &hold)
        : m_hold(hold)
    {
        if (m_hold)
            m_hold(true);
    }
    ~Hold()
    {
        if (m_hold)
            m_hold(false);
    }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;

private:
    const std::function<void(bool)> &m_hold;
};

ListCommands::ListCommands(TdmML &dm, RuleLists &lists, Prompts &prompts, std::function<void(bool)> hold)
    : m_dm(dm)
    , m_lists(lists)
    , m_prompts(prompts)
    , m_hold(std::move(hold))
{
}

void ListCommands::deleteRecord(bool ask)
{
    MLTable &table = m_dm.tblML;
    // Named in the question, so the user sees which member goes.
    if (!table.active() || !table.hasCurrent())
        return;
    if (ask
        && m_prompts.confirm(QStringLiteral("Are you sure you want to delete the current record?\n")
                             + table.current().Item)
               != Prompts::Answer::Yes)
        return;
    try {
        table.deleteCurrent();
    } catch (const std::exception &) {
        m_prompts.error(QStringLiteral("Error deleting record!"));
    }
}

void ListCommands::moveToNeverList()
{
    MLTable &table = m_dm.tblML;
    if (!table.active() || !table.hasCurrent())
        return;
    const QString address = table.current().Item;
    if (m_prompts.confirm(QStringLiteral("Are you sure you want to move ") + address
                          + QStringLiteral(" to your never send list?"))
        != Prompts::Answer::Yes)
        return;
    m_lists.never.add(lowerAZ(address));
    // Kept at once: an address the user blocked must not come back because
    // the options were cancelled or the program ended first.
    const QString path = QDir(m_programDir).filePath(QStringLiteral("never.txt"));
    QString why;
    if (!textfile::writeLines(path, m_lists.never.items(), &why))
        m_prompts.warning(QStringLiteral("The blocked-address list %1 could not be written (%2). The address is "
                                         "blocked until the program ends.")
                              .arg(path, why));
    deleteRecord(false);
}

void ListCommands::resetBounceCount()
{
    try {
        MLTable &table = m_dm.tblML;
        if (table.active() && table.hasCurrent())
            table.setBounces(0);
    } catch (const std::exception &) {
        m_prompts.error(QStringLiteral("Error resetting bounce count!"));
    }
}

// Walks the table a slice at a time, each slice kept, so a stop keeps what was done.
class ListCommands::Slices
{
public:
    Slices(const ListCommands &commands, QString message)
        : m_progress(commands.m_progress, commands.m_stop)
        , m_message(std::move(message))
    {
    }
    ~Slices() { m_progress.hide(); }

    MLTable::SliceStep step()
    {
        return [this](qint64 done, qint64 total) {
            m_done = done;
            m_total = total;
            return m_progress.update(int(qMin<qint64>(done, INT_MAX)), int(qMin<qint64>(total, INT_MAX)), m_message);
        };
    }
    // Hidden first, so the report is not under the progress window.
    void reportStop(Prompts &prompts, const QString &job)
    {
        if (!m_progress.stopped())
            return;
        m_progress.hide();
        prompts.information(job + QStringLiteral(" cancelled: ") + doneOfTotal(m_done, m_total)
                            + QStringLiteral(" entries processed."));
    }

private:
    ThrottledProgress m_progress;
    QString m_message;
    qint64 m_done = 0;
    qint64 m_total = 0;
};

void ListCommands::resetAllBounceCounts()
{
    Hold hold(m_hold);
    Slices slices(*this, QStringLiteral("Resetting the bounce counts"));
    try {
        m_dm.tblML.resetAllBounces(slices.step());
    } catch (const std::exception &) {
        m_prompts.error(QStringLiteral("Error resetting bounce counts!"));
        return;
    }
    slices.reportStop(m_prompts, QStringLiteral("Reset of the bounce counts"));
}

void ListCommands::deleteAllEntries()
{
    if (m_prompts.confirm(QStringLiteral("This will delete all the entries in mailing list!  Are you sure you want "
                                         "to continue?"))
        != Prompts::Answer::Yes)
        return;
    Hold hold(m_hold);
    Slices slices(*this, QStringLiteral("Deleting all entries"));
    try {
        m_dm.emptyList(slices.step());
    } catch (const std::exception &) {
        m_prompts.error(QStringLiteral("Error empying your table!"));
        return;
    }
    slices.reportStop(m_prompts, QStringLiteral("Deleting all entries"));
}

QString ListCommands::backupPath() const
{
    return m_programDir + QStringLiteral("backup.csv");
}

void ListCommands::saveBackUpFile()
{
    Hold hold(m_hold);
    // A failed export has said why; telling the user it was saved would be false.
    if (exportlist(m_dm.tblML, m_prompts, m_progress, backupPath(), true, true, true, QStringLiteral(","), m_stop))
        m_prompts.information(QStringLiteral("Your backup file has been saved as ") + backupPath()
                              + QStringLiteral(".  You can view it with Excel or notepad"));
}
