#pragma once
// Passwords in the desktop's secret store, never in a settings file.
#include <QString>

#include <optional>

namespace platform::keychain {

// The secret kept under key; empty when none is kept; nullopt when no
// secret store answers (no desktop session).
std::optional<QString> readSecret(const QString &key);
// False when no secret store took it.
bool writeSecret(const QString &key, const QString &secret);

} // namespace platform::keychain
