#include "intake/DeliveryReport.h"

#include "core/AsciiCase.h"

#include <QSet>

namespace {

struct Block
{
    QString action;
    QString finalRecipient;
    QString originalRecipient;
    bool hasRecipient = false;
};

// "failed (mailbox full)" is "failed".
QString actionWord(const QString &value)
{
    qsizetype end = 0;
    while (end < value.size() && !value.at(end).isSpace() && value.at(end) != QLatin1Char('(')
           && value.at(end) != QLatin1Char(';'))
        ++end;
    return lowerAZ(value.left(end));
}

// RFC 6533 writes characters an address type cannot hold as \x{HHHH}.
QString unescapeUtf8Address(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\') && text.mid(i + 1, 2) == QLatin1String("x{")) {
            const qsizetype close = text.indexOf(QLatin1Char('}'), i + 3);
            bool ok = false;
            const uint code = close > 0 ? text.mid(i + 3, close - i - 3).toUInt(&ok, 16) : 0;
            if (ok && code > 0 && code <= 0x10FFFF && !QChar::isSurrogate(code)) {
                out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
                i = close;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

// "rfc822; <user@example.org>" is "user@example.org"; empty when the value
// is of another address type or holds no address.
QString recipientAddress(const QString &value)
{
    const qsizetype semicolon = value.indexOf(QLatin1Char(';'));
    QString address = value;
    bool utf8 = false;
    if (semicolon >= 0) {
        const QString type = lowerAZ(value.left(semicolon).trimmed());
        utf8 = type == QLatin1String("utf-8");
        if (type != QLatin1String("rfc822") && !utf8)
            return {};
        address = value.mid(semicolon + 1);
    }
    address.remove(QLatin1Char('<'));
    address.remove(QLatin1Char('>'));
    QString compact;
    compact.reserve(address.size());
    for (const QChar c : std::as_const(address)) {
        if (!c.isSpace())
            compact += c;
    }
    if (utf8)
        compact = unescapeUtf8Address(compact);
    return compact.contains(QLatin1Char('@')) ? compact : QString();
}

void finish(Block &block, DeliveryReport &report)
{
    if (block.hasRecipient && !block.action.isEmpty()) {
        report.present = true;
        report.delayed = report.delayed || block.action == QLatin1String("delayed");
        report.delivered = report.delivered || block.action == QLatin1String("delivered")
                           || block.action == QLatin1String("relayed") || block.action == QLatin1String("expanded");
        // "failure" and "error" are older systems' words for it.
        if (block.action == QLatin1String("failed") || block.action == QLatin1String("failure")
            || block.action == QLatin1String("error")) {
            QString address = recipientAddress(block.finalRecipient);
            if (address.isEmpty())
                address = recipientAddress(block.originalRecipient);
            if (!address.isEmpty())
                report.failed << address;
        }
    }
    block = Block();
}

void takeField(const QString &field, Block &block, DeliveryReport &report)
{
    const qsizetype colon = field.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return;
    const QString name = lowerAZ(field.left(colon).trimmed());
    const QString value = field.mid(colon + 1).trimmed();
    if (name == QLatin1String("action")) {
        block.action = actionWord(value);
    } else if (name == QLatin1String("final-recipient") || name == QLatin1String("original-recipient")) {
        // Some systems forget the blank line between recipients.
        if (block.hasRecipient && !block.action.isEmpty())
            finish(block, report);
        (name.startsWith(QLatin1Char('f')) ? block.finalRecipient : block.originalRecipient) = value;
        block.hasRecipient = true;
    }
}

} // namespace

DeliveryReport readDeliveryReport(const QString &statusText)
{
    DeliveryReport report;
    Block block;
    QString field;
    for (QStringView line : QStringView(statusText).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty()) {
            takeField(field, block, report);
            field.clear();
            finish(block, report);
        } else if (line.front() == QLatin1Char(' ') || line.front() == QLatin1Char('\t')) {
            field += QLatin1Char(' ');
            field += line.trimmed(); // a folded field goes on
        } else {
            takeField(field, block, report);
            field = line.toString();
        }
    }
    takeField(field, block, report);
    finish(block, report);
    return report;
}

QStringList distinctAddresses(const QStringList &addresses)
{
    QStringList distinct;
    QSet<QString> seen;
    for (const QString &address : addresses) {
        if (!seen.contains(lowerAZ(address))) {
            seen.insert(lowerAZ(address));
            distinct << address;
        }
    }
    return distinct;
}
