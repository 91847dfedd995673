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
#include <typeinfo>

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

class NumberedMembers;

class AutomationObject
{
public:
    virtual ~AutomationObject() = default;
    // A member with arguments is an indexed property or method; without, a
    // property read or a method call. Throws AutomationError.
    virtual QVariant invoke(const QString &member, const QVariantList &args) = 0;
    // The object's numbered members, if it has them: asked on every call,
    // so a virtual call, not a cast across the hierarchy.
    virtual NumberedMembers *numberedMembers() { return nullptr; }
};

using ObjectPtr = std::shared_ptr<AutomationObject>;

// Optional beside AutomationObject, as IDispatch's member numbers: a caller
// that reads the same members of thousands of items looks each name up once
// and then calls by number. Objects without it are called by name.
class NumberedMembers
{
public:
    virtual ~NumberedMembers() = default;
    // The member's number, the same for every object of this class; -1 when unknown.
    virtual int memberNumber(const QString &member) const = 0;
    virtual QVariant invokeNumber(int number, const QVariantList &args) = 0;
};

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

// One member called on many objects: by number where the object numbers
// its members, by name otherwise.
class MemberCall
{
public:
    explicit MemberCall(QString member)
        : m_member(std::move(member))
    {
    }
    OleVariant operator()(const OleVariant &target, const QVariantList &args = {}) const;
    // False when the target's class numbers its members and this is not one
    // of them: a call would only throw, which costs more than the call.
    bool offeredBy(const OleVariant &target) const;

private:
    void lookUp(AutomationObject &o) const;
    QString m_member;
    mutable const std::type_info *m_class = nullptr;
    mutable int m_number = -1;
    mutable bool m_numbered = false;
};

// "Outlook.Application" and the like. Throws AutomationError when the
// class is not known or its server cannot start.
OleVariant CreateOleObject(const QString &className);

} // namespace platform::outlook

Q_DECLARE_METATYPE(platform::outlook::ObjectPtr)
