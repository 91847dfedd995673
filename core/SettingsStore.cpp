#include "core/SettingsStore.h"

#include "core/MailAccountSetting.h"

#include "core/Prompts.h"
#include "core/SettingKeys.h"
#include "core/TextFile.h"
#include "platform/registry/Registry.h"

#include <QFileInfo>

const QString SettingsStore::registryKey = QStringLiteral("SOFTWARE\\Varnel\\Quillmar");

namespace {

const QString kOpenFailed = QStringLiteral("Error encountered opening your registry file");
const QString kLoadFailed = QStringLiteral("Error encountered loading user settings from registry!");
const QString kListsNotSaved = QStringLiteral(
    "An Error was encountered saving your data files.  Please check that you have sufficient disk space "
    "and the application is run from a write-enabled directory");
const QString kSaveOpenFailed = QStringLiteral("Registry Update Failed, using defaults");
const QString kWriteFailed = QStringLiteral("Error encountered writing your settings to the registry!");

// The sentence users know, then what went wrong and in which file.
QString withReason(const QString &sentence, const QString &reason)
{
    return reason.isEmpty() ? sentence : sentence + QLatin1Char('\n') + reason;
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
        m_prompts.warning(withReason(kOpenFailed, reg.lastError()));
        return;
    }
    try {
        for (const settingkeys::Key *key : settingkeys::loadOrder()) {
            key->load(settings, reg.readString(key->valueName()));
            // Restricting to an empty list would refuse every category.
            if (key->holds(&Settings::RestrictCategories) && lists.cats.isEmpty())
                settings.RestrictCategories = false;
        }
    } catch (const platform::RegistryError &e) {
        m_prompts.warning(withReason(kLoadFailed, QString::fromStdString(e.what())));
    }
    reg.closeKey();
    mailaccount::registerAccount(settings, m_prompts);
}

void SettingsStore::SaveEntries(const Settings &settings, const RuleLists &lists)
{
    // One list that cannot be written must not cost the user the others.
    QStringList failures;
    for (const RuleLists::FileBinding &binding : RuleLists::files) {
        const QString path = m_programDir + QLatin1String(binding.fileName);
        QString why;
        if (!textfile::writeLines(path, (lists.*binding.list).items(), &why))
            failures << QStringLiteral("%1: %2").arg(path, why);
    }
    if (!failures.isEmpty())
        m_prompts.warning(withReason(kListsNotSaved, failures.join(QLatin1Char('\n'))));

    platform::Registry reg(platform::RootKey::LocalMachine);
    if (!reg.openKey(registryKey, true)) {
        m_prompts.warning(withReason(kSaveOpenFailed, reg.lastError()));
        return;
    }
    try {
        for (const settingkeys::Key &key : settingkeys::keys())
            reg.writeString(key.valueName(), key.stored(settings));
    } catch (const platform::RegistryError &e) {
        m_prompts.warning(withReason(kWriteFailed, QString::fromStdString(e.what())));
    }
    reg.closeKey();
    mailaccount::registerAccount(settings, m_prompts);
}
