#pragma once
// The main window over a real table file in its own program directory; the
// entries are "item|category|bounces|comments" lines.
#include "testlib/ScriptedPrompts.h"
#include "testlib/TestEnv.h"

#include "grid/EntryGrid.h"
#include "grid/EntryTableModel.h"
#include "shell/AppContext.h"
#include "shell/main.h"
#include "store/MLSchema.h"

#include <QTest>

#include <memory>

struct MainWindowFixture
{
    explicit MainWindowFixture(const QStringList &items = {})
    {
        createMailingListFile(env.programDir() + QStringLiteral("mailist.DAT"));
        context = std::make_unique<AppContext>(prompts);
        window = std::make_unique<Tfrmmain>(*context);
        window->FormCreate(env.programDir() + QStringLiteral("quillmar"));
        if (!context->dmML.DataModuleCreate(context->programDir))
            qFatal("table did not open");
        for (const QString &line : items) {
            const QStringList f = line.split(QLatin1Char('|'));
            context->dmML.tblML.append(f.value(0), f.value(1), f.value(2).toInt(), f.value(3));
        }
    }
    void show()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    QStringList gridColumn(int column) const
    {
        QStringList out;
        auto *model = window->DBGrid1->entryModel();
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->index(r, column).data().toString();
        return out;
    }

    TestEnv env;
    ScriptedPrompts prompts;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<Tfrmmain> window;
};
