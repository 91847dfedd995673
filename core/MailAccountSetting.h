#pragma once
// Turns the account settings into the mail client's account: which store
// the folder check, the folder scan and the folder pickers open, and where
// the IMAP password comes from (the secret store, else asked once per run).
#include "platform/imap/ImapSession.h"

#include <QString>

class Prompts;
struct Settings;

namespace mailaccount {

bool isImap(const Settings &settings);
// The server as the settings name it; the password is left empty.
platform::imap::ServerConfig serverConfig(const Settings &settings);
// The trusted certificate setting's value for this server and fingerprint.
QString trustedCertificateValue(const Settings &settings, const QString &fingerprint);

// Registers the account; prompts must outlive every later check.
void registerAccount(const Settings &settings, Prompts &prompts);

// The password kept for the settings' account: the secret store's, else
// the one given earlier in this run; empty when neither has one.
QString storedPassword(const Settings &settings);
// Keeps it in the secret store; where none answers, in memory for this run
// only. False in that case.
bool keepPassword(const Settings &settings, const QString &password);

} // namespace mailaccount
