#pragma once
// What lives for the whole run and is shared by the windows: settings and
// rule lists, the log and the error list, the data module and the entry rules.
#include "core/LineList.h"
#include "core/RuleList.h"
#include "core/Settings.h"
#include "mail/SMapi.h"
#include "store/EntryRules.h"
#include "store/MLdata.h"

#include <memory>

class Prompts;

struct AppContext
{
    explicit AppContext(Prompts &p)
        : prompts(p)
    {
    }

    Prompts &prompts;
    QString programDir;
    Settings settings;
    RuleLists lists;
    LineList log{LineList::logHeader()};
    LineList errors;
    TdmML dmML;
    EntryRules rules{dmML.tblML, settings, lists, log, errors};
    // Bound once at start, when the program directory is known.
    std::unique_ptr<SMapi> mapi;
};
