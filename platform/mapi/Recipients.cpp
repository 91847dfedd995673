#include "platform/mapi/Recipients.h"
#include "platform/mapi/Contacts.h"
#include "platform/mapi/MapiText.h"
#include "platform/mapi/MimeHeaders.h"

#include <QStringList>

namespace mapistandin {

namespace {

const QString kSmtp = QStringLiteral("SMTP:");

bool hasSmtpPrefix(const QString &text)
{
    return text.startsWith(kSmtp, Qt::CaseInsensitive);
}

QString withoutBrackets(const QString &text)
{
    if (text.size() >= 2 && text.startsWith(QLatin1Char('[')) && text.endsWith(QLatin1Char(']')))
        return text.mid(1, text.size() - 2).trimmed();
    return text;
}

QString unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"'))) {
        text = text.mid(1, text.size() - 2);
        text.replace(QStringLiteral("\\\""), QStringLiteral("\""));
        text.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    }
    return text;
}

// "Display <address>" split in two; the whole text is the address otherwise.
void splitMailbox(const QString &text, QString *display, QString *address)
{
    const int lt = text.lastIndexOf(QLatin1Char('<'));
    if (text.endsWith(QLatin1Char('>')) && lt >= 0) {
        *display = unquoted(text.left(lt));
        *address = text.mid(lt + 1, text.size() - lt - 2).trimmed();
        if (hasSmtpPrefix(*address))
            *address = address->mid(kSmtp.size()).trimmed();
    } else {
        display->clear();
        *address = text;
    }
}

} // namespace

bool isValidAddress(const QString &address)
{
    return addrSpec(address).has_value();
}

std::optional<QString> smtpAddress(const QString &address)
{
    const QString text = withoutBrackets(address.trimmed());
    if (hasSmtpPrefix(text))
        return text.mid(kSmtp.size()).trimmed();
    const int colon = text.indexOf(QLatin1Char(':'));
    const int at = text.indexOf(QLatin1Char('@'));
    if (colon > 0 && (at < 0 || colon < at))
        return std::nullopt; // an address type of another mail system
    return text;
}

Resolution resolveName(const QString &typed, const ContactsSource &contacts)
{
    Resolution r;
    const QString text = withoutBrackets(typed.trimmed());
    if (text.isEmpty())
        return r;

    if (hasSmtpPrefix(text)) {
        const QString address = text.mid(kSmtp.size()).trimmed();
        if (isValidAddress(address)) {
            r = {SUCCESS_SUCCESS, address, address};
        }
        return r;
    }

    if (text.contains(QLatin1Char('@'))) {
        QString display, address;
        splitMailbox(text, &display, &address);
        if (isValidAddress(address))
            r = {SUCCESS_SUCCESS, display.isEmpty() ? address : text, address};
        return r;
    }

    const std::shared_ptr<const ContactIndex> index = contacts ? contacts() : nullptr;
    if (!index)
        return r;
    const QVector<const Contact *> matches = index->find(text);
    QStringList addresses;
    for (const Contact *c : matches)
        addresses.append(c->email.toCaseFolded());
    addresses.removeDuplicates();
    if (addresses.size() > 1) {
        r.code = MAPI_E_AMBIGUOUS_RECIPIENT;
        return r;
    }
    if (addresses.isEmpty() || !isValidAddress(matches.first()->email))
        return r;
    const Contact &c = *matches.first();
    // A display name that others share would not find this contact again.
    const QString name = index->addressesForDisplayName(c.displayName) > 1
                             ? c.displayName + QStringLiteral(" <") + c.email + QLatin1Char('>')
                             : c.displayName;
    r = {SUCCESS_SUCCESS, name, c.email};
    return r;
}

QString displayNameFor(const QString &name, const QString &address)
{
    QString text = withoutBrackets(headerText(name).trimmed());
    if (hasSmtpPrefix(text))
        text = text.mid(kSmtp.size()).trimmed();
    if (text.compare(address, Qt::CaseInsensitive) == 0)
        return QString();
    QString display, inner;
    splitMailbox(text, &display, &inner);
    if (!display.isEmpty() || inner != text) {
        if (inner.compare(address, Qt::CaseInsensitive) == 0)
            return display;
    }
    return text;
}

QByteArray entryIdFor(const QString &address)
{
    return (kSmtp + address).toUtf8();
}

std::optional<QString> addressFromEntryId(const QByteArray &entryId)
{
    const QString text = QString::fromUtf8(entryId);
    if (!hasSmtpPrefix(text))
        return std::nullopt;
    return text.mid(kSmtp.size());
}

} // namespace mapistandin
