// The main window's batch intake commands: import, manual entry and the
// folder scan.
#include "dialogs/Import.h"
#include "dialogs/addmore.h"
#include "dialogs/getmore.h"
#include "shell/AppContext.h"
#include "shell/main.h"

#include <QAction>
#include <QPushButton>

namespace {

template<class Dialog> void openIntakeDialog(Tfrmmain &w)
{
    Dialog dialog(
        w.context(), w.context().prompts,
        [&w](bool show, int position, int total, const QString &message) {
            w.showprogress(show, position, total, message);
        },
        &w);
    dialog.setStopQuery(w.progressStop());
    dialog.exec();
}

} // namespace

void Tfrmmain::connectIntakeCommands()
{
    // ImportMailingListEntries1Click
    connect(ImportMailingListEntries1, &QAction::triggered, this, [this] {
        DisplayHold hold(*this);
        openIntakeDialog<TdlgImport>(*this);
    });
    // btnAddMoreClick, from the button and the menu
    auto btnAddMoreClick = [this] {
        DisplayHold hold(*this);
        openIntakeDialog<TdlgEnterMore>(*this);
    };
    connect(btnAddMore, &QPushButton::clicked, this, btnAddMoreClick);
    connect(mnuAddMore, &QAction::triggered, this, btnAddMoreClick);
    // ScanOutlookFoldersforemailaddresses1Click: a plain refresh, then the
    // window works with the display live and the user's filter in force.
    connect(ScanOutlookFoldersforemailaddresses1, &QAction::triggered, this, [this] {
        {
            DisplayHold refresh(*this);
        }
        openIntakeDialog<TdlgGetMore>(*this);
        newformpreparation(false);
    });
}
