#pragma once
// The main window's commands that work on the list itself: delete, block,
// reset bounce counts, empty the list, write the backup file. They hold the
// display through the window's callback and report through Prompts.
#include "core/Progress.h"

#include <QString>

#include <functional>

class Prompts;
class TdmML;
struct RuleLists;

class ListCommands
{
public:
    // hold(true) holds the grid display, hold(false) releases it.
    ListCommands(TdmML &dm, RuleLists &lists, Prompts &prompts, std::function<void(bool)> hold);

    void setProgramDir(const QString &dir) { m_programDir = dir; }
    void setProgress(ProgressFn progress) { m_progress = std::move(progress); }
    void setStopQuery(StopQuery stop) { m_stop = std::move(stop); }

    // The current record; asks first unless the block command deletes it.
    void deleteRecord(bool ask = true);
    void moveToNeverList();
    void resetBounceCount();
    void resetAllBounceCounts();
    void deleteAllEntries();
    void saveBackUpFile();

    QString backupPath() const;

private:
    class Hold;
    class Slices;

    TdmML &m_dm;
    RuleLists &m_lists;
    Prompts &m_prompts;
    std::function<void(bool)> m_hold;
    ProgressFn m_progress;
    StopQuery m_stop;
    QString m_programDir;
};
