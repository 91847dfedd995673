#pragma once
// The log and the error list beside the program: read when the main window
// first shows, written when it closes. A file that exists but cannot be read
// is never replaced; that run's lines go beside it instead.
//
// While the program runs, every new line is also appended, as it is made, to
// a journal beside its file ("log.txt.journal", "errors.txt.journal"), so a
// run that dies loses none of its lines: the next start adds the journal's
// lines to the list, writes the file and removes the journal; a clean close
// writes the files and removes the journals. The lines of a change that was
// being committed when the run died are added only if the change was stored
// (LineList::groupStored).
#include <QString>

#include <memory>

class LineList;
class Prompts;

class WorkingFiles
{
public:
    static QString logFileName() { return QStringLiteral("log.txt"); }
    static QString errorsFileName() { return QStringLiteral("errors.txt"); }
    static QString journalSuffix() { return QStringLiteral(".journal"); }

    WorkingFiles(QString programDir, Prompts &prompts);
    ~WorkingFiles();

    void load(LineList &log, LineList &errors);
    // False when a file could not be written and the user chose to stay.
    bool save(const LineList &log, const LineList &errors);

    class Journal;

private:
    struct Kept
    {
        QString fileName;
        LineList *lines = nullptr;
        bool unreadable = false;
        std::unique_ptr<Journal> journal;
    };

    void loadOne(Kept &kept);
    bool saveOne(Kept &kept, const LineList &lines);

    QString m_programDir;
    Prompts &m_prompts;
    Kept m_log;
    Kept m_errors;
};
