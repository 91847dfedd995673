#pragma once
// Late-bound automation, as the program talks to its mail client: objects
// whose members are looked up by name (ignoring letter case) when called.
// A Windows back-end can put the client's IDispatch behind the same classes.
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <memory>
#include <stdexcept>

namespace platform::outlook {

class AutomationError : public std::runtime_error
{
public:
    explicit AutomationError(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
};

class AutomationObject
{
public:
    virtual ~AutomationObject() = default;
    // A member with arguments is an indexed property or method; without, a
    // property read or a method call. Throws AutomationError.
    virtual QVariant invoke(const QString &member, const QVariantList &args) = 0;
};

using ObjectPtr = std::shared_ptr<AutomationObject>;

// A value as the caller holds it: text, number, date, an object or empty.
class OleVariant
{
public:
    OleVariant() = default;
    OleVariant(QVariant value)
        : m_value(std::move(value))
    {
    }
    OleVariant(ObjectPtr object);

    OleVariant call(const QString &member, const QVariantList &args = {}) const;
    bool isObject() const;
    ObjectPtr object() const;
    // An empty value converts to empty text.
    QString toText() const;
    int toInt() const;
    QDateTime toDateTime() const;
    const QVariant &value() const { return m_value; }

private:
    QVariant m_value;
};

// "Outlook.Application" and the like. Throws AutomationError when the
// class is not known or its server cannot start.
OleVariant CreateOleObject(const QString &className);

} // namespace platform::outlook

Q_DECLARE_METATYPE(platform::outlook::ObjectPtr)
