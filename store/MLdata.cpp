#include "store/MLdata.h"

#include <QDir>

#include <sqlite3.h>

#include <exception>

TdmML::TdmML(QObject *parent)
    : QObject(parent)
{
}

QString TdmML::openFailedMessage()
{
    return QStringLiteral(
        "Error encountered trying to load your DB file.  It must be in the same directory as this application.");
}

QString TdmML::readOnlyMessage()
{
    return QStringLiteral("Your DB file is read-only: the list can be viewed, but no change to it can be saved.");
}

namespace {

// What is wrong with the file, in words a user can act on, naming it.
QString openFailureReason(const TableError &e, const QString &path)
{
    const QString file = QDir::toNativeSeparators(path);
    switch (e.code() & 0xff) {
    case SQLITE_NOTADB:
        return QStringLiteral("%1 is not a mailing-list file, or its start is damaged.").arg(file);
    case SQLITE_CORRUPT:
        return QStringLiteral("%1 is damaged: it is corrupt or cut short.").arg(file);
    default:
        break;
    }
    const QString message = e.message();
    return message.contains(path) ? QDir::toNativeSeparators(message) : file + QStringLiteral(": ") + message;
}

} // namespace

QString TdmML::openFailedWarning() const
{
    return m_lastError.isEmpty() ? openFailedMessage() : openFailedMessage() + QLatin1Char('\n') + m_lastError;
}

bool TdmML::DataModuleCreate(const QString &programDir)
{
    tblML.close();
    tblML.setExclusive(false);
    tblML.setFilePath(QDir(programDir).filePath(MLTable::defaultFileName()));
    try {
        tblML.open();
        m_lastError.clear();
        return true;
    } catch (const TableError &e) {
        m_lastError = openFailureReason(e, tblML.filePath());
        return false;
    }
}

void TdmML::emptyList(const MLTable::SliceStep &step)
{
    // Whatever fails, the table ends open and shared again; the first
    // failure is the one reported.
    std::exception_ptr failure;
    tblML.close();
    tblML.setExclusive(true);
    try {
        tblML.open();
        tblML.emptyTable(step);
    } catch (const TableError &) {
        failure = std::current_exception();
    }
    tblML.close();
    tblML.setExclusive(false);
    try {
        tblML.open();
    } catch (const TableError &) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}
