#include "core/SettingsStore.h"

#include "platform/registry/Registry.h"
#include "core/AsciiCase.h"
#include "core/Prompts.h"
#include "core/TextFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

const QString SettingsStore::registryKey = QStringLiteral("SOFTWARE\\Varnel\\Quillmar");

namespace {

const QString kOpenFailed = QStringLiteral("Error encountered opening your registry file");
const QString kLoadFailed = QStringLiteral("Error encountered loading user settings from registry!");
const QString kListsNotSaved = QStringLiteral(
    "An Error was encountered saving your data files.  Please check that you have sufficient disk space "
    "and the application is run from a write-enabled directory");
const QString kSaveOpenFailed = QStringLiteral("Registry Update Failed, using defaults");
const QString kWriteFailed = QStringLiteral("Error encountered writing your settings to the registry!");

// The trailing blank is part of the stored name.
const QString kSendCount = QStringLiteral("SendCount ");

const QString kDefaultGroup = QStringLiteral("VMailingList");
const QString kDefaultCategory = QStringLiteral("Default");

class Reader
{
public:
    explicit Reader(const platform::Registry &reg)
        : m_reg(reg)
    {
    }

    QString text(const QString &name) const { return m_reg.readString(name); }

    // Full Unicode case mapping would also accept look-alikes such as "falſe".
    bool boolean(const QString &name, bool fallback) const
    {
        const QString word = upperAZ(m_reg.readString(name));
        if (word == QLatin1String("TRUE"))
            return true;
        if (word == QLatin1String("FALSE"))
            return false;
        return fallback;
    }

    int integer(const QString &name, int fallback) const
    {
        bool ok = false;
        const int value = m_reg.readString(name).toInt(&ok, 10);
        return ok ? value : fallback;
    }

private:
    const platform::Registry &m_reg;
};

void writeBool(platform::Registry &reg, const QString &name, bool on)
{
    reg.writeString(name, on ? QStringLiteral("true") : QStringLiteral("False"));
}

QStringList withoutBlankLines(const QStringList &lines)
{
    QStringList kept;
    kept.reserve(lines.size());
    for (const QString &line : lines) {
        // A blank entry would be found in every address or subject.
        if (!line.trimmed().isEmpty())
            kept.append(line);
    }
    return kept;
}

} // namespace

SettingsStore::SettingsStore(QString programDir, Prompts &prompts)
    : m_programDir(std::move(programDir))
    , m_prompts(prompts)
{
}

void SettingsStore::Loadentries(Settings &settings, RuleLists &lists)
{
    for (const RuleLists::FileBinding &binding : RuleLists::files) {
        const QString path = m_programDir + QLatin1String(binding.fileName);
        if (!QFileInfo::exists(path))
            continue;
        QStringList lines;
        QString error;
        if (!textfile::readLines(path, &lines, &error)) {
            // Emptying the list instead would silently drop the user's rules.
            m_prompts.warning(QStringLiteral("The list file %1 could not be read (%2). Its previous entries are kept.")
                                  .arg(path, error));
            continue;
        }
        (lists.*binding.list).setItems(withoutBlankLines(lines));
    }

    platform::Registry reg(platform::RootKey::LocalMachine);
    if (!reg.openKey(registryKey, true)) {
        m_prompts.warning(kOpenFailed);
        return;
    }
    const Reader read(reg);
    Settings &s = settings;
    try {
        s.MailingListGroup = read.text(QStringLiteral("MailingListGroup"));
        if (s.MailingListGroup.isEmpty())
            s.MailingListGroup = kDefaultGroup;
        s.AlternativeCategory = read.text(QStringLiteral("AlternativeCategory"));

        s.FailedMail = read.boolean(QStringLiteral("FailedMail"), false);
        s.BounceMax = read.integer(QStringLiteral("BounceMax"), 10);
        s.DefaultToAddress = read.text(QStringLiteral("DefaultToAddress"));
        s.Acknowledge = read.boolean(QStringLiteral("Acknowledge"), false);
        s.SendCount = read.integer(kSendCount, 500);
        s.MultipleCategorySupport = read.boolean(QStringLiteral("MultipleCategorySupport"), true);
        s.Except = read.boolean(QStringLiteral("Except"), true);
        s.RestrictCategories = read.boolean(QStringLiteral("RestrictCategories"), false) && !lists.cats.isEmpty();

        s.AutoScan = read.boolean(QStringLiteral("AutoScan"), false);

        s.defaultcategory = read.text(QStringLiteral("defaultcategory"));
        if (s.defaultcategory.isEmpty())
            s.defaultcategory = kDefaultCategory;

        s.AlternativeCategory = read.text(QStringLiteral("AlternativeCategory"));
        if (s.AlternativeCategory.isEmpty())
            s.AlternativeCategory = s.defaultcategory;

        s.allowfromaddressasentry = read.boolean(QStringLiteral("allowfromaddressasentry"), true);
        s.UpdateCommentsWhenEntryExists = read.boolean(QStringLiteral("UpdateCommentsWhenEntryExists"), true);
        s.ScanAllEmailLines = read.boolean(QStringLiteral("ScanAllEmailLines"), false);
    } catch (const platform::RegistryError &) {
        m_prompts.warning(kLoadFailed);
    }
    reg.closeKey();
}

void SettingsStore::SaveEntries(const Settings &settings, const RuleLists &lists)
{
    for (const RuleLists::FileBinding &binding : RuleLists::files) {
        const QString path = m_programDir + QLatin1String(binding.fileName);
        if (!textfile::writeLines(path, (lists.*binding.list).items())) {
            m_prompts.warning(kListsNotSaved);
            break;
        }
    }

    platform::Registry reg(platform::RootKey::LocalMachine);
    if (!reg.openKey(registryKey, true)) {
        m_prompts.warning(kSaveOpenFailed);
        return;
    }
    const Settings &s = settings;
    try {
        reg.writeString(QStringLiteral("MailingListGroup"), s.MailingListGroup);
        reg.writeString(QStringLiteral("AlternativeCategory"), s.AlternativeCategory);
        writeBool(reg, QStringLiteral("FailedMail"), s.FailedMail);
        writeBool(reg, QStringLiteral("RestrictCategories"), s.RestrictCategories);
        reg.writeString(QStringLiteral("BounceMax"), QString::number(s.BounceMax));
        reg.writeString(QStringLiteral("DefaultToAddress"), s.DefaultToAddress);
        writeBool(reg, QStringLiteral("MultipleCategorySupport"), s.MultipleCategorySupport);
        writeBool(reg, QStringLiteral("Acknowledge"), s.Acknowledge);
        reg.writeString(kSendCount, QString::number(s.SendCount));
        writeBool(reg, QStringLiteral("Except"), s.Except);
        reg.writeString(QStringLiteral("defaultcategory"), s.defaultcategory);
        writeBool(reg, QStringLiteral("allowfromaddressasentry"), s.allowfromaddressasentry);
        writeBool(reg, QStringLiteral("UpdateCommentsWhenEntryExists"), s.UpdateCommentsWhenEntryExists);
        writeBool(reg, QStringLiteral("ScanAllEmailLines"), s.ScanAllEmailLines);
        writeBool(reg, QStringLiteral("AutoScan"), s.AutoScan);
    } catch (const platform::RegistryError &) {
        m_prompts.warning(kWriteFailed);
    }
    reg.closeKey();
}

namespace {

// Qt's long time formats end in the time zone, which the Windows long time
// format never shows; it would also eat into 80-character comments.
QString withoutTimeZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed().replace(QLatin1String("  "), QLatin1String(" "));
}

} // namespace

QString getdatetimestring(const QDateTime &now)
{
    if (!now.isValid())
        return QString();
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(now.date(), QLocale::ShortFormat);
    if (now.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(now.time(), withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

QString getdatetimestring()
{
    return getdatetimestring(QDateTime::currentDateTime());
}
