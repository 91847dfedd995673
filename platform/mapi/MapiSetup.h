#pragma once
// Registers the stand-in mail system for the set-up tool.
#include <QString>

// Writes, each only where it is missing: the availability value "MAPI" = "1"
// under the local machine's "SOFTWARE\Microsoft\Windows Messaging Subsystem",
// a default profile under the current user's profiles key, and in that
// profile the store path and the sender address. Values already there, the
// user's own, are kept. False with the reason when the registry cannot be
// written.
bool registerMapiStandIn(const QString &storePath, QString *error);
bool registerMapiStandIn(const QString &storePath, const QString &senderAddress, QString *error);

// The login name at localhost, until the user sets a real address.
QString defaultSenderAddress();
// The name of the profile registration creates.
QString standInProfileName();
