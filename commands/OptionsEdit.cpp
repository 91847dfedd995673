#include "commands/OptionsEdit.h"

#include "core/Prompts.h"
#include "core/RuleList.h"
#include "core/SettingKeys.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"

#include <QFileInfo>

OptionsEdit::OptionsEdit(Settings &settings, RuleLists &lists, Prompts &prompts)
    : m_settings(settings)
    , m_lists(lists)
    , m_prompts(prompts)
{
}

QString OptionsEdit::spaceQuestion()
{
    return QStringLiteral("An entry contains a space.  The space character is not supported and will be converted "
                          "to a underscore character (_)");
}

DerivedChoices OptionsEdit::current() const
{
    const Settings &s = m_settings;
    DerivedChoices c;
    c.singleMessage = s.SendCount == 1;
    c.maxSendCount = s.SendCount;
    c.multipleCategories = s.MultipleCategorySupport;
    // Restricting to an empty list would refuse every category.
    c.restrictCategories = s.RestrictCategories && !m_lists.cats.isEmpty();
    c.folder = s.MailingListGroup;
    c.defaultCategory = s.defaultcategory;
    c.alternativeCategory = s.AlternativeCategory;
    return c;
}

DerivedChoices OptionsEdit::apply(const DerivedChoices &choices)
{
    Settings &s = m_settings;
    s.SendCount = choices.singleMessage ? 1 : choices.maxSendCount;
    s.defaultcategory = choices.defaultCategory.isEmpty() ? settingkeys::textDefault(&Settings::defaultcategory)
                                                          : choices.defaultCategory;
    s.AlternativeCategory = choices.alternativeCategory.isEmpty() ? s.defaultcategory : choices.alternativeCategory;
    s.MultipleCategorySupport = choices.multipleCategories;
    s.RestrictCategories = choices.restrictCategories && !m_lists.cats.isEmpty();
    // An empty name would leave the folder check nothing to open.
    s.MailingListGroup
        = choices.folder.isEmpty() ? settingkeys::textDefault(&Settings::MailingListGroup) : choices.folder;
    SettingsStore(m_programDir, m_prompts).SaveEntries(m_settings, m_lists);
    return current();
}

void OptionsEdit::reload()
{
    const RuleLists builtIn;
    for (const RuleLists::FileBinding &binding : RuleLists::files) {
        if (!QFileInfo::exists(m_programDir + QLatin1String(binding.fileName)))
            m_lists.*binding.list = builtIn.*binding.list;
    }
    SettingsStore(m_programDir, m_prompts).Loadentries(m_settings, m_lists);
}

void OptionsEdit::editList(RuleList RuleLists::*list, const QStringList &lines)
{
    (m_lists.*list).setItems(editedEntries(lines, RuleLists::editRules(list), [this] {
        return m_prompts.informationOkCancel(spaceQuestion()) == Prompts::Answer::Ok;
    }));
}
