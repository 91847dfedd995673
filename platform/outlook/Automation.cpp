#include "platform/outlook/Automation.h"

#include "platform/outlook/ImapOutlook.h"
#include "platform/outlook/LocalOutlook.h"
#include "platform/outlook/MailAccount.h"

namespace platform::outlook {

OleVariant::OleVariant(ObjectPtr object)
    : m_value(QVariant::fromValue(std::move(object)))
{
}

bool OleVariant::isObject() const
{
    if (m_value.metaType() == QMetaType::fromType<ObjectPtr>())
        return *static_cast<const ObjectPtr *>(m_value.constData()) != nullptr;
    return m_value.canConvert<ObjectPtr>() && m_value.value<ObjectPtr>() != nullptr;
}

ObjectPtr OleVariant::object() const
{
    // Every member call starts here: the pointer is copied once.
    if (m_value.metaType() == QMetaType::fromType<ObjectPtr>()) {
        if (ObjectPtr held = *static_cast<const ObjectPtr *>(m_value.constData()))
            return held;
    } else if (isObject()) {
        return m_value.value<ObjectPtr>();
    }
    throw AutomationError(QStringLiteral("The value is not an object."));
}

OleVariant OleVariant::call(const QString &member, const QVariantList &args) const
{
    return OleVariant(object()->invoke(member, args));
}

void MemberCall::lookUp(AutomationObject &o) const
{
    if (m_class == &typeid(o))
        return;
    m_class = &typeid(o);
    const NumberedMembers *numbered = o.numberedMembers();
    m_numbered = numbered != nullptr;
    m_number = numbered ? numbered->memberNumber(m_member) : -1;
}

bool MemberCall::offeredBy(const OleVariant &target) const
{
    const ObjectPtr object = target.object();
    lookUp(*object);
    return !m_numbered || m_number >= 0;
}

OleVariant MemberCall::operator()(const OleVariant &target, const QVariantList &args) const
{
    const ObjectPtr object = target.object();
    AutomationObject &o = *object;
    lookUp(o);
    if (m_number >= 0)
        return OleVariant(o.numberedMembers()->invokeNumber(m_number, args));
    return OleVariant(o.invoke(m_member, args));
}

QString OleVariant::toText() const
{
    if (!m_value.isValid() || m_value.isNull())
        return {};
    if (m_value.typeId() == QMetaType::QDateTime)
        return QLocale::system().toString(m_value.toDateTime(), QLocale::ShortFormat);
    return m_value.toString();
}

int OleVariant::toInt() const
{
    bool ok = false;
    const int n = m_value.toInt(&ok);
    if (!ok)
        throw AutomationError(QStringLiteral("Type mismatch."));
    return n;
}

QDateTime OleVariant::toDateTime() const
{
    return m_value.toDateTime();
}

OleVariant CreateOleObject(const QString &className)
{
    if (className.compare(QStringLiteral("Outlook.Application"), Qt::CaseInsensitive) == 0) {
        MailAccount account = mailAccount();
        const QString root = account.storeRoot.isEmpty() ? defaultStoreRoot() : account.storeRoot;
        if (!account.imap)
            return OleVariant(createLocalApplication(root));
        if (account.server.password.isEmpty() && account.passwordSource)
            account.server.password = account.passwordSource();
        return OleVariant(createImapApplication(account.server, root));
    }
    throw AutomationError(QStringLiteral("Invalid class string"));
}

} // namespace platform::outlook
