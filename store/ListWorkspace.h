#pragma once
// What the list operations share: the settings and rule lists they read, the
// log and the error list they write, the data module with the one table,
// and the entry rules over them. The program holds one for its whole run;
// tests and benchmarks make their own.
#include "core/LineList.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "store/EntryRules.h"
#include "store/MLdata.h"

#include <QString>
#include <QStringList>

struct ListWorkspace
{
    // The log starts as on a first start unless given other lines.
    explicit ListWorkspace(const QStringList &logLines = LineList::logHeader())
        : log(logLines)
    {
    }

    MLTable &table() { return dmML.tblML; }

    // Opens the table from a file of any name, shared; throws TableError.
    void openList(const QString &path)
    {
        MLTable &t = dmML.tblML;
        t.close();
        t.setExclusive(false);
        t.setFilePath(path);
        t.open();
    }

    Settings settings;
    RuleLists lists;
    LineList log;
    LineList errors;
    TdmML dmML;
    EntryRules rules{dmML.tblML, settings, lists, log, errors};
};
