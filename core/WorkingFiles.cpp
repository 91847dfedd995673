#include "core/WorkingFiles.h"

#include "core/LineList.h"
#include "core/Prompts.h"
#include "core/TextFile.h"

#include <QDir>
#include <QFileInfo>

WorkingFiles::WorkingFiles(QString programDir, Prompts &prompts)
    : m_programDir(std::move(programDir))
    , m_prompts(prompts)
{
}

void WorkingFiles::load(LineList &log, LineList &errors)
{
    loadOne(errorsFileName(), errors, m_errorsUnreadable);
    loadOne(logFileName(), log, m_logUnreadable);
}

bool WorkingFiles::save(const LineList &log, const LineList &errors)
{
    return saveOne(logFileName(), log, m_logUnreadable) && saveOne(errorsFileName(), errors, m_errorsUnreadable);
}

void WorkingFiles::loadOne(const QString &fileName, LineList &lines, bool &unreadable)
{
    const QString path = QDir(m_programDir).filePath(fileName);
    if (!QFileInfo::exists(path))
        return;
    QStringList read;
    QString why;
    if (!textfile::readLines(path, &read, &why)) {
        unreadable = true;
        m_prompts.warning(QStringLiteral("%1 could not be read (%2). It will not be replaced when the "
                                         "program closes.")
                              .arg(path, why));
        return;
    }
    lines.setLines(read);
}

bool WorkingFiles::saveOne(const QString &fileName, const LineList &lines, bool unreadable)
{
    const QString name = unreadable ? fileName + QStringLiteral(".new") : fileName;
    const QString path = QDir(m_programDir).filePath(name);
    QString why;
    if (textfile::writeLines(path, lines.lines(), &why))
        return true;
    return m_prompts.confirm(QStringLiteral("%1 could not be written (%2). Close anyway and lose the "
                                            "changes to it?")
                                 .arg(path, why))
        == Prompts::Answer::Yes;
}
