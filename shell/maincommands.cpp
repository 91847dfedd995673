// The main window's menu commands on the list: thin handlers over ListCommands.
#include "commands/ListCommands.h"
#include "dialogs/Export.h"
#include "dialogs/WaitCursor.h"
#include "grid/EntryGrid.h"
#include "grid/EntryTableModel.h"
#include "shell/AppContext.h"
#include "shell/main.h"

#include <QAction>

void Tfrmmain::connectCommands()
{
    m_commands = std::make_unique<ListCommands>(m_context.dmML, m_context.lists, m_context.prompts,
                                                [this](bool hold) { newformpreparation(hold); });
    m_commands->setProgress([this](bool show, int position, int total, const QString &message) {
        showprogress(show, position, total, message);
    });
    m_commands->setStopQuery(progressStop());
    connect(DeleteRecord1, &QAction::triggered, this, &Tfrmmain::DeleteRecord1Click);
    connect(DeleteEntry1, &QAction::triggered, this, &Tfrmmain::DeleteRecord1Click);
    connect(mkaddtonever, &QAction::triggered, this, &Tfrmmain::mkaddtoneverClick);
    connect(mkaddtonever2, &QAction::triggered, this, &Tfrmmain::mkaddtoneverClick);
    connect(ResetBounceCount1, &QAction::triggered, this, &Tfrmmain::ResetBounceCount1Click);
    connect(ResetBounceCountforallEntries1, &QAction::triggered, this, &Tfrmmain::ResetBounceCountforallEntries1Click);
    connect(DeleteAllEntries1, &QAction::triggered, this, &Tfrmmain::DeleteAllEntries1Click);
    connect(SaveBackUpFile1, &QAction::triggered, this, &Tfrmmain::SaveBackUpFile1Click);
    connect(mkAllowEditing, &QAction::triggered, this, &Tfrmmain::mkAllowEditingClick);
    connect(ExportMailingListEntries1, &QAction::triggered, this, &Tfrmmain::ExportMailingListEntries1Click);
}

void Tfrmmain::syncCurrent()
{
    const QModelIndex at = DBGrid1->currentIndex();
    if (at.isValid())
        m_model->makeCurrent(at.row());
}

void Tfrmmain::DeleteRecord1Click()
{
    syncCurrent();
    m_commands->deleteRecord();
}

void Tfrmmain::mkaddtoneverClick()
{
    syncCurrent();
    m_commands->moveToNeverList();
}

void Tfrmmain::ResetBounceCount1Click()
{
    syncCurrent();
    m_commands->resetBounceCount();
}

void Tfrmmain::ResetBounceCountforallEntries1Click()
{
    WaitCursor wait;
    m_commands->resetAllBounceCounts();
}

void Tfrmmain::DeleteAllEntries1Click()
{
    m_commands->deleteAllEntries();
}

void Tfrmmain::SaveBackUpFile1Click()
{
    WaitCursor wait;
    m_commands->saveBackUpFile();
}

void Tfrmmain::mkAllowEditingClick()
{
    DBGrid1->setInlineEditing(mkAllowEditing->isChecked());
}

void Tfrmmain::ExportMailingListEntries1Click()
{
    DisplayHold hold(*this);
    TdlgExport dlgExport(
        m_context.dmML.tblML, m_context.prompts,
        [this](bool show, int position, int total, const QString &message) {
            showprogress(show, position, total, message);
        },
        this);
    dlgExport.setStopQuery(progressStop());
    dlgExport.exec();
}
