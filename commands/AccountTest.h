#pragma once
// "Test Connection" of the mail account, without its window: logs in with
// the settings as they stand and lists the folders.
#include <QString>

struct Settings;

struct AccountTestResult
{
    bool connected = false;
    QString text; // "Connected: 12 folders", or what went wrong
    // Set when the only obstacle is a certificate the user may choose to
    // trust: the settings value that trusts it for this server.
    QString trustValue;
};

AccountTestResult testAccount(const Settings &settings, const QString &password);
