#include "platform/outlook/MailAccount.h"

#include <QMutex>

namespace platform::outlook {

namespace {

QMutex accountLock;
MailAccount registered;

} // namespace

void setMailAccount(MailAccount account)
{
    const QMutexLocker lock(&accountLock);
    registered = std::move(account);
}

MailAccount mailAccount()
{
    const QMutexLocker lock(&accountLock);
    return registered;
}

} // namespace platform::outlook
