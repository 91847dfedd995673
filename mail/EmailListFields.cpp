#include "mail/EmailListFields.h"

#include <QRegularExpression>
#include <QUrl>

namespace listfields {

namespace {

bool isAtext(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
           || QStringLiteral("!#$%&'*+/=?^_`{|}~-").contains(c);
}

bool isDotAtom(const QString &text)
{
    static const QRegularExpression atom(
        QStringLiteral("^[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+(\\.[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+)+$"));
    return atom.match(text).hasMatch();
}

// A description that is not plain printable ASCII goes as an encoded word.
QByteArray phrase(const QString &text)
{
    bool plain = true;
    for (const QChar c : text)
        plain = plain && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    if (!plain)
        return "=?utf-8?B?" + text.toUtf8().toBase64() + "?=";
    QByteArray quoted = text.toLatin1();
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + quoted + '"';
}

} // namespace

QString defaultListId(const QString &owner)
{
    const QString address = owner.trimmed();
    const qsizetype at = address.lastIndexOf(u'@');
    if (at <= 0 || at == address.size() - 1)
        return {};
    QString local;
    for (const QChar c : address.left(at))
        local += isAtext(c) ? c : u'-';
    const QString domain = QString::fromLatin1(QUrl::toAce(address.mid(at + 1))).toLower();
    const QString id = local + u'.' + domain;
    return isDotAtom(id) ? id : QString();
}

QList<QByteArray> fields(const QString &owner, const QString &listName, const QString &category)
{
    const QString id = defaultListId(owner);
    if (id.isEmpty())
        return {};
    const QString name = listName.simplified();
    QByteArray listId;
    if (name.isEmpty())
        listId = '<' + id.toLatin1() + '>';
    else if (isDotAtom(name))
        listId = '<' + name.toLatin1() + '>';
    else
        listId = phrase(name) + " <" + id.toLatin1() + '>';
    QString subject = QStringLiteral("unsubscribe");
    if (!category.trimmed().isEmpty())
        subject += u' ' + category.trimmed();
    const QByteArray mailto
        = "mailto:" + QUrl::toPercentEncoding(owner.trimmed(), "@") + "?subject=" + QUrl::toPercentEncoding(subject);
    return {"List-Id: " + listId, "List-Unsubscribe: <" + mailto + '>', "Precedence: bulk"};
}

} // namespace listfields
