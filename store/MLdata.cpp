#include "store/MLdata.h"

#include <QDir>

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
        m_lastError = e.message();
        return false;
    }
}

void TdmML::emptyList()
{
    struct SharedAgain
    {
        MLTable &t;
        ~SharedAgain()
        {
            t.close();
            t.setExclusive(false);
            try {
                t.open();
            } catch (const TableError &) {
                // Reported by whoever uses the closed table next.
            }
        }
    } reopen{tblML};
    tblML.close();
    tblML.setExclusive(true);
    tblML.open();
    tblML.emptyTable();
}
