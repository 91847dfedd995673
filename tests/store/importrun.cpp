// quillmar-importrun: the program's start, one import and its clean close,
// without windows, for the import crash test. The start and the close are
// the program's own (the list file beside it, the settings, the log and
// error list with their journals); the run can be made to kill itself, as
// kill -9 would, at a chosen commit of the list file.
//
//   quillmar-importrun PROGRAMDIR [FILE add|remove|bounce [before|after N [LINES]]]
// Without FILE it only starts (recovering what a run that died left) and
// closes. "before N" dies as the Nth commit starts, "after N" once the Nth
// commit that changed the file is done. LINES is how many lines each
// commit stores; the import's own batch when not given.
// Exit code: 0 done, 1 the list could not be opened, 2 usage.
#include "core/Prompts.h"
#include "core/SettingsStore.h"
#include "core/WorkingFiles.h"
#include "intake/StrToStringlist.h"
#include "store/Importfile.h"
#include "store/ListWorkspace.h"
#include "store/SqliteDb.h"

#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>

namespace {

// Failing lines go on, as a user answering Yes would have it.
class ConsolePrompts : public Prompts
{
public:
    Answer confirm(const QString &text) override
    {
        say("question (answered Yes)", text);
        return Answer::Yes;
    }
    void information(const QString &) override { }
    void warning(const QString &text) override { say("warning", text); }
    void error(const QString &text) override { say("error", text); }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }

private:
    static void say(const char *kind, const QString &text)
    {
        std::fprintf(stderr, "%s: %s\n", kind, text.toLocal8Bit().constData());
    }
};

int g_left = 0;

int dieBefore(void *)
{
    if (--g_left == 0)
        std::raise(SIGKILL);
    return 0;
}

int dieAfter(void *, sqlite3 *, const char *, int)
{
    if (--g_left == 0)
        std::raise(SIGKILL);
    return SQLITE_OK;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 && args.size() != 4 && args.size() != 6 && args.size() != 7) {
        std::fprintf(stderr,
                     "usage: quillmar-importrun PROGRAMDIR [FILE add|remove|bounce [before|after N [LINES]]]\n");
        return 2;
    }
    const QString programDir = QDir(args.at(1)).absolutePath() + QLatin1Char('/');
    ConsolePrompts prompts;
    ListWorkspace workspace;
    if (!workspace.dmML.DataModuleCreate(programDir)) {
        prompts.error(workspace.dmML.lastError());
        return 1;
    }
    SettingsStore(programDir, prompts).Loadentries(workspace.settings, workspace.lists);
    WorkingFiles files(programDir, prompts);
    files.load(workspace.log, workspace.errors);

    if (args.size() >= 4) {
        if (args.size() >= 6) {
            g_left = args.at(5).toInt();
            sqlite3 *db = workspace.table().connection().handle();
            if (args.at(4) == QLatin1String("before"))
                sqlite3_commit_hook(db, dieBefore, nullptr);
            else
                sqlite3_wal_hook(db, dieAfter, nullptr);
        }
        QString why;
        const auto lines = ImportLines::fromFile(args.at(2), &why);
        if (!lines) {
            prompts.error(why);
            return 1;
        }
        const QString mode = args.at(3);
        ImportServices services{workspace.rules, prompts, {}, &StrToStringlist, {}};
        if (args.size() == 7)
            services.batchLines = args.at(6).toInt();
        Importfile(services, *lines, mode == QLatin1String("add"), mode == QLatin1String("remove"),
                   mode == QLatin1String("bounce"), QStringLiteral("news"), false, QString(),
                   QStringLiteral("Import of entries from file, members.csv"));
    }
    return files.save(workspace.log, workspace.errors) ? 0 : 3;
}
