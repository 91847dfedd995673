#pragma once
// How the messages of the Outbox leave, as the settings say: left for a mail
// client, handed to an SMTP server, or to this computer's sendmail command.
#include "platform/smtp/Transport.h"

#include <QString>

#include <memory>
#include <optional>

struct Settings;

namespace sending {

enum class Method { Outbox, Smtp, Sendmail };

Method method(const Settings &settings);
inline bool sends(const Settings &settings)
{
    return method(settings) != Method::Outbox;
}
// The SMTP server asks for a password.
bool needsPassword(const Settings &settings);

// The SMTP password: the secret store's, else one given earlier in this
// run; empty when neither has one.
QString storedPassword(const Settings &settings);
// Kept in the secret store; where none answers, in memory for this run
// only, and false.
bool keepPassword(const Settings &settings, const QString &password);
// The server refused it: the one held in memory goes; the secret store's
// is replaced only by the next one given.
void forgetPassword(const Settings &settings);

// The default mail profile's store and address; empty with *error when
// there is none to send from.
struct MailProfile
{
    QString storeRoot;
    QString senderAddress;
};
std::optional<MailProfile> mailProfile(QString *error);

// The envelope sender: the setting, else the profile's address.
QString envelopeSender(const Settings &settings, const QString &profileAddress);

// For the settings' method; throws platform::smtp::TransportError for
// settings that must not be used (a line break, no server, no encryption to
// another computer).
std::unique_ptr<platform::smtp::Transport> makeTransport(const Settings &settings, const QString &password);

// The settings' values that the sending uses hold no line break or other
// control character; else what is wrong.
QString settingsProblem(const Settings &settings);

} // namespace sending
