#include "platform/keychain/SecretStore.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <qt6keychain/keychain.h>

namespace platform::keychain {

namespace {

const QString Service = QStringLiteral("Quillmar");

// The jobs answer through the event loop; callers want the answer now.
void runToEnd(QKeychain::Job &job)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
}

} // namespace

std::optional<QString> readSecret(const QString &key)
{
    if (!QCoreApplication::instance() || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return std::nullopt;
    QKeychain::ReadPasswordJob job(Service);
    job.setKey(key);
    runToEnd(job);
    if (job.error() == QKeychain::NoError)
        return job.textData();
    if (job.error() == QKeychain::EntryNotFound)
        return QString();
    return std::nullopt;
}

bool writeSecret(const QString &key, const QString &secret)
{
    if (!QCoreApplication::instance() || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    QKeychain::WritePasswordJob job(Service);
    job.setKey(key);
    job.setTextData(secret);
    runToEnd(job);
    return job.error() == QKeychain::NoError;
}

} // namespace platform::keychain
