// quillmar-checkrun: the program's start, one folder check and its clean
// close, without windows, for the crash test. Every step is the program's
// own: the data module opens mailist.DAT in the program directory, the
// settings and rule lists load as at start, the log and error list load
// (recovering what a run that died left in their journals), the check runs
// over the mail account of the settings (~/Maildir by default), and the
// close writes log.txt and errors.txt.
//
//   quillmar-checkrun PROGRAMDIR
// Exit code: 0 the check finished, 3 it ended on a failure (printed), 1 the
// list could not be opened.
#include "core/Prompts.h"
#include "core/SettingsStore.h"
#include "core/WorkingFiles.h"
#include "intake/FolderCheck.h"
#include "store/ListWorkspace.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <exception>

namespace {

// What a user would see in a box goes to standard error; questions are
// answered No, so nothing is created that the user did not ask for.
class ConsolePrompts : public Prompts
{
public:
    Answer confirm(const QString &text) override
    {
        say("question (answered No)", text);
        return Answer::No;
    }
    void information(const QString &text) override { say("information", text); }
    void warning(const QString &text) override { say("warning", text); }
    void error(const QString &text) override { say("error", text); }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
    // A mail account's password, as typed: one line of standard input.
    QString password(const QString &text) override
    {
        say("password", text);
        char line[1024];
        return std::fgets(line, sizeof line, stdin) ? QString::fromLocal8Bit(line).trimmed() : QString();
    }

private:
    static void say(const char *kind, const QString &text)
    {
        std::fprintf(stderr, "%s: %s\n", kind, text.toLocal8Bit().constData());
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: quillmar-checkrun PROGRAMDIR\n");
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

    int result = 0;
    try {
        FolderCheck(workspace.settings, workspace.lists, workspace.rules, prompts).run({});
    } catch (const std::exception &e) {
        prompts.error(QString::fromUtf8(e.what()));
        result = 3;
    }
    if (!files.save(workspace.log, workspace.errors))
        return 4;
    return result;
}
