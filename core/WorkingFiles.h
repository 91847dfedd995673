#pragma once
// The log and the error list beside the program: read when the main window
// first shows, written when it closes. A file that exists but cannot be read
// is never replaced; that run's lines go beside it instead.
#include <QString>

class LineList;
class Prompts;

class WorkingFiles
{
public:
    static QString logFileName() { return QStringLiteral("log.txt"); }
    static QString errorsFileName() { return QStringLiteral("errors.txt"); }

    WorkingFiles(QString programDir, Prompts &prompts);

    void load(LineList &log, LineList &errors);
    // False when a file could not be written and the user chose to stay.
    bool save(const LineList &log, const LineList &errors);

private:
    void loadOne(const QString &fileName, LineList &lines, bool &unreadable);
    bool saveOne(const QString &fileName, const LineList &lines, bool unreadable);

    QString m_programDir;
    Prompts &m_prompts;
    bool m_logUnreadable = false;
    bool m_errorsUnreadable = false;
};
