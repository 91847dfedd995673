// Every window at the running font and at half as large again, on a 1280x800
// screen: it fits the screen, no caption is cut off, and each key letter
// reaches one control only.
#include "testlib/MainWindowFixture.h"
#include "testlib/TextFit.h"

#include "dialogs/AboutBoxUnit.h"
#include "dialogs/Export.h"
#include "dialogs/Import.h"
#include "dialogs/addmore.h"
#include "dialogs/addrecip.h"
#include "dialogs/edtentry.h"
#include "dialogs/errors.h"
#include "dialogs/getlist.h"
#include "dialogs/getmore.h"
#include "dialogs/help.h"
#include "dialogs/logunit.h"
#include "dialogs/options.h"
#include "dialogs/progress.h"
#include "dialogs/reproc.h"
#include "dialogs/sendmail.h"
#include "intake/FolderCheck.h"

#include <QDialog>
#include <QDir>
#include <QKeySequence>
#include <QMap>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>

#include <functional>
#include <memory>

namespace {

const QSize ScreenSize(1280, 800);

// A window with what it needs kept alive beside it.
struct Opened
{
    MainWindowFixture f{{QStringLiteral("someone@example.org|news|3|a comment")}};
    std::unique_ptr<FolderCheck> check;
    std::unique_ptr<SMapi> mail;
    std::unique_ptr<TdlgAddRecip> addRecip;
    std::unique_ptr<QWidget> owned;
    QWidget *window = nullptr;

    template<typename W> W *own(std::unique_ptr<W> w)
    {
        window = w.get();
        owned = std::move(w);
        return static_cast<W *>(window);
    }
};

using Opener = std::function<void(Opened &)>;

QMap<QString, Opener> openers()
{
    return {
        {QStringLiteral("main"), [](Opened &o) { o.window = o.f.window.get(); }},
        {QStringLiteral("progress"),
         [](Opened &o) {
             o.own(std::make_unique<TdlgProgress>())
                 ->lblmessage->setText(QStringLiteral("Sending e-mail to someone@example.org"));
         }},
        {QStringLiteral("folder check"),
         [](Opened &o) {
             o.check = std::make_unique<FolderCheck>(o.f.context->settings, o.f.context->lists, o.f.context->rules,
                                                     o.f.prompts);
             o.own(std::make_unique<TfrmExtractentries>(*o.check))->Timer1.setInterval(60 * 60 * 1000);
         }},
        {QStringLiteral("import"),
         [](Opened &o) { o.own(std::make_unique<TdlgImport>(*o.f.context, o.f.prompts, ProgressFn{})); }},
        {QStringLiteral("manual entry"),
         [](Opened &o) { o.own(std::make_unique<TdlgEnterMore>(*o.f.context, o.f.prompts, ProgressFn{})); }},
        {QStringLiteral("folder scan"),
         [](Opened &o) {
             o.own(std::make_unique<TdlgGetMore>(*o.f.context, o.f.prompts, ProgressFn{}))
                 ->Timer1.setInterval(60 * 60 * 1000);
         }},
        {QStringLiteral("export"),
         [](Opened &o) { o.own(std::make_unique<TdlgExport>(o.f.context->dmML.tblML, o.f.prompts, ProgressFn{})); }},
        {QStringLiteral("options"), [](Opened &o) { o.window = o.f.window->dlgoptions; }},
        {QStringLiteral("log"),
         [](Opened &o) {
             o.f.context->log.append(
                 QStringLiteral("ADD someone@example.org news [a comment] -> Entered Successfully"));
             o.window = o.f.window->dlglog;
         }},
        {QStringLiteral("errors"),
         [](Opened &o) {
             o.f.context->errors.append(QStringLiteral("ADD someone@example.org news"));
             o.window = o.f.window->dlgerrors;
         }},
        {QStringLiteral("reprocess"),
         [](Opened &o) {
             o.own(std::make_unique<Tdlgreprocess>())->showLine(QStringLiteral("REMOVE someone@example.org news"));
         }},
        {QStringLiteral("list editor"), [](Opened &o) { o.own(std::make_unique<Tdlgeditentries>()); }},
        {QStringLiteral("about"), [](Opened &o) { o.own(std::make_unique<TAboutBox>(std::function<void()>{})); }},
        {QStringLiteral("help"), [](Opened &o) { o.own(std::make_unique<TdlgHelp>(o.f.env.programDir())); }},
        {QStringLiteral("recipients"),
         [](Opened &o) { o.window = (o.addRecip = std::make_unique<TdlgAddRecip>(o.f.prompts)).get(); }},
        {QStringLiteral("send"),
         [](Opened &o) {
             o.mail = std::make_unique<SMapi>(o.f.env.programDir());
             o.addRecip = std::make_unique<TdlgAddRecip>(o.f.prompts);
             o.own(std::make_unique<TdlgSendMail>(o.f.context->dmML.tblML, *o.mail, o.f.context->settings, o.f.prompts,
                                                  ProgressFn{}, *o.addRecip));
         }},
    };
}

// Calls check once for each page of the window's tab widgets on top.
void eachView(QWidget *window, const std::function<void(const QString &)> &check)
{
    const auto tabs = window->findChildren<QTabWidget *>();
    if (tabs.isEmpty())
        return check(QString());
    for (QTabWidget *t : tabs) {
        for (int page = 0; page < t->count(); ++page) {
            t->setCurrentIndex(page);
            QCoreApplication::processEvents();
            check(textfit::plain(t->tabText(page)));
        }
    }
}

// Buttons and tabs that can be seen together, with their captions.
QList<QPair<QWidget *, QString>> captionedControls(QWidget *window)
{
    QList<QPair<QWidget *, QString>> out;
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
        if (b->isVisibleTo(window) && !b->text().isEmpty())
            out.append({b, b->text()});
    for (QMenuBar *m : window->findChildren<QMenuBar *>())
        for (QAction *a : m->actions())
            out.append({m, a->text()});
    for (QTabBar *t : window->findChildren<QTabBar *>())
        for (int i = 0; i < t->count(); ++i)
            out.append({t, t->tabText(i)});
    return out;
}

// Multi-line fields a keyboard user cannot leave with Tab.
template<typename Text> QStringList trappingTab(QWidget *window)
{
    QStringList out;
    for (Text *text : window->findChildren<Text *>())
        if (text->isVisibleTo(window) && !text->isReadOnly() && !text->tabChangesFocus())
            out << QStringLiteral("Tab is kept in ") + text->objectName();
    return out;
}

// Enter presses a dialog's default button and Esc cancels it, so those two
// need no letter; nor does a caption without one.
bool needsLetter(const QWidget *control, const QString &caption)
{
    const auto *b = qobject_cast<const QPushButton *>(control);
    if (!b)
        return false;
    if (qobject_cast<const QDialog *>(b->window()) && (b->isDefault() || caption == QLatin1String("Cancel")))
        return false;
    return std::any_of(caption.begin(), caption.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

} // namespace

class TestForms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_font = QApplication::font(); }
    void cleanup() { QApplication::setFont(m_font); }

    void everyWindowFitsAndHasItsKeys_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("fontScale");
        for (const QString &name : openers().keys())
            for (double scale : {1.0, 1.5})
                QTest::addRow("%s at %.1fx", qPrintable(name), scale) << name << scale;
    }

    void everyWindowFitsAndHasItsKeys()
    {
        QFETCH(QString, name);
        QFETCH(double, fontScale);
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * fontScale);
        QApplication::setFont(font);

        Opened o;
        openers().value(name)(o);
        QWidget *window = o.window;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QRect available = window->screen()->availableGeometry();
        QCOMPARE(available.size(), ScreenSize);
        const QRect frame = window->frameGeometry();
        QVERIFY2(frame.width() <= available.width() && frame.height() <= available.height(),
                 qPrintable(QStringLiteral("%1x%2").arg(frame.width()).arg(frame.height())));

        QStringList clipped;
        QStringList keys;
        eachView(window, [&](const QString &page) {
            const QString where = page.isEmpty() ? QString() : page + QStringLiteral(": ");
            for (const QString &text : textfit::clippedTexts(window))
                clipped << where + text;
            QMap<QChar, QString> taken;
            for (const auto &[control, caption] : captionedControls(window)) {
                const QKeySequence key = QKeySequence::mnemonic(caption);
                if (key.isEmpty()) {
                    if (needsLetter(control, caption))
                        keys << where + QStringLiteral("no key letter: ") + caption;
                    continue;
                }
                const QChar letter = key.toString().back().toUpper();
                if (taken.contains(letter))
                    keys << where + QStringLiteral("%1 and %2 share %3").arg(taken.value(letter), caption, letter);
                taken.insert(letter, caption);
            }
            for (const QString &fault : trappingTab<QPlainTextEdit>(window) + trappingTab<QTextEdit>(window))
                keys << where + fault;
            const QString shots = qEnvironmentVariable("QUILLMAR_SCREENSHOT_DIR");
            if (!shots.isEmpty())
                window->grab().save(
                    QDir(shots).filePath(QStringLiteral("%1 %2 %3.png").arg(name, page).arg(fontScale)));
        });
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
        QVERIFY2(keys.isEmpty(), qPrintable(keys.join(QStringLiteral("; "))));
        window->hide();
    }

private:
    QFont m_font;
};

// The offscreen platform's screen is 800x600 unless told otherwise.
int main(int argc, char **argv)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    file.write(QStringLiteral(R"({"screens": [{"name": "Screen", "x": 0, "y": 0, "width": %1, "height": %2,
        "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                   .arg(ScreenSize.width())
                   .arg(ScreenSize.height())
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    QApplication app(argc, argv);
    TestForms test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_forms.moc"
