#pragma once
// What every back-end's automation objects share: member names matched as
// the client matches them, its error texts, and a message's recipients and
// reply as objects.
#include "platform/outlook/Automation.h"
#include "platform/outlook/MailMessage.h"

#include <QList>

#include <memory>

namespace platform::outlook {

inline bool is(const QString &member, const char *name)
{
    return member.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

[[noreturn]] inline void unknownMember(const QString &member)
{
    throw AutomationError(QStringLiteral("Unknown name: %1").arg(member));
}

inline QVariant wrap(ObjectPtr object)
{
    return QVariant::fromValue(std::move(object));
}

// 1-based index argument, as the client's collections take them.
inline int indexArgument(const QVariantList &args, int count)
{
    bool ok = false;
    const int i = args.value(0).toInt(&ok);
    if (!ok || i < 1 || i > count)
        throw AutomationError(QStringLiteral("Array index out of bounds."));
    return i;
}

class MessageRecipient : public AutomationObject
{
public:
    explicit MessageRecipient(MailAddress a)
        : m_address(std::move(a))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &) override
    {
        if (is(member, "Address"))
            return m_address.address;
        if (is(member, "Name"))
            return m_address.name.isEmpty() ? m_address.address : m_address.name;
        unknownMember(member);
    }

private:
    MailAddress m_address;
};

class MessageRecipients : public AutomationObject
{
public:
    explicit MessageRecipients(QList<MailAddress> list)
        : m_list(std::move(list))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Count"))
            return int(m_list.size());
        if (is(member, "Item"))
            return item(args);
        unknownMember(member);
    }
    QVariant item(const QVariantList &args)
    {
        return wrap(std::make_shared<MessageRecipient>(m_list.at(indexArgument(args, int(m_list.size())) - 1)));
    }

private:
    QList<MailAddress> m_list;
};

// A reply's only use here: its one recipient, the address to answer.
class MessageReply : public AutomationObject
{
public:
    explicit MessageReply(MailAddress to)
        : m_recipients(std::make_shared<MessageRecipients>(QList<MailAddress>{std::move(to)}))
    {
    }
    QVariant invoke(const QString &member, const QVariantList &args) override
    {
        if (is(member, "Recipients"))
            return args.isEmpty() ? wrap(m_recipients) : m_recipients->item(args);
        unknownMember(member);
    }

private:
    std::shared_ptr<MessageRecipients> m_recipients;
};

} // namespace platform::outlook
