// The main window's options, log, errors, about and help commands. The
// options, log and error dialogs are made once and kept: their contents are
// the live settings, log and error list.
#include "dialogs/AboutBoxUnit.h"
#include "dialogs/errors.h"
#include "dialogs/help.h"
#include "dialogs/logunit.h"
#include "dialogs/options.h"
#include "shell/AppContext.h"
#include "shell/main.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>

void Tfrmmain::connectAuxCommands()
{
    // Windows of their own rather than children, so nothing that walks the main
    // window's widgets meets them; they go when it goes.
    dlgoptions = new Tdlgoptions(m_context.settings, m_context.lists, m_context.prompts);
    dlglog = new Tdlglog(m_context.log, m_context.prompts);
    dlgerrors = new Tdlgerrors(m_context.errors, m_context.rules, m_context.prompts);
    for (QDialog *d : std::initializer_list<QDialog *>{dlgoptions, dlglog, dlgerrors})
        connect(this, &QObject::destroyed, d, [d] { delete d; });

    connect(Options1, &QAction::triggered, this, &Tfrmmain::Options1Click);
    connect(DisplayErrors1, &QAction::triggered, this, &Tfrmmain::DisplayErrors1Click);
    connect(DisplayLog1, &QAction::triggered, this, &Tfrmmain::DisplayLog1Click);
    connect(About1, &QAction::triggered, this, &Tfrmmain::About1Click);
    connect(mnuHelp, &QAction::triggered, this, &Tfrmmain::btnHelpClick);
    connect(btnHelp, &QPushButton::clicked, this, &Tfrmmain::btnHelpClick);
}

void Tfrmmain::Options1Click()
{
    DisplayHold hold(*this);
    // The program directory is known only once the window has been created.
    dlgoptions->setProgramDir(m_context.programDir);
    dlgoptions->exec();
}

void Tfrmmain::DisplayErrors1Click()
{
    DisplayHold hold(*this);
    dlgerrors->exec();
}

void Tfrmmain::DisplayLog1Click()
{
    dlglog->exec();
}

void Tfrmmain::About1Click()
{
    TAboutBox AboutBox([this] { btnHelpClick(); }, this);
    AboutBox.exec();
}

void Tfrmmain::btnHelpClick()
{
    // Above whichever modal window asked for it, the about box included.
    QWidget *over = QApplication::activeModalWidget();
    TdlgHelp dlgHelp(m_context.programDir, over ? over : this);
    dlgHelp.exec();
}
