#pragma once
// What lives for the whole run and is shared by the windows: the list
// workspace (settings, rule lists, log, error list, data module, entry
// rules), the prompts, the program directory and the mail library.
#include "mail/SMapi.h"
#include "store/ListWorkspace.h"

#include <memory>

class Prompts;

struct AppContext : ListWorkspace
{
    explicit AppContext(Prompts &p)
        : prompts(p)
    {
    }

    Prompts &prompts;
    QString programDir;
    // Bound once at start, when the program directory is known.
    std::unique_ptr<SMapi> mapi;
};
