#pragma once
// The user's fifteen settings. The initialisers are the built-in starting
// values, in force until the registry has been read; the defaults for a value
// missing from an opened key are applied by SettingsStore.
#include <QString>

struct Settings
{
    QString MailingListGroup = QStringLiteral("VMailingList");
    QString AlternativeCategory;
    bool FailedMail = true;
    bool RestrictCategories = false;
    int BounceMax = 10;
    QString DefaultToAddress;
    bool MultipleCategorySupport = false;
    bool Acknowledge = false;
    int SendCount = 500;
    bool Except = true;
    QString defaultcategory = QStringLiteral("Default");
    bool allowfromaddressasentry = true;
    bool UpdateCommentsWhenEntryExists = false;
    bool ScanAllEmailLines = true;
    bool AutoScan = false;

    bool operator==(const Settings &) const = default;
};
