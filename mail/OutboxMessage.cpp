#include "mail/OutboxMessage.h"

#include <QDir>
#include <QSet>

namespace {

QByteArray fieldName(const QByteArray &line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return {};
    const QByteArray name = line.left(colon);
    for (const char c : name) {
        if (uchar(c) <= 32 || uchar(c) >= 127)
            return {};
    }
    return name.toLower();
}

// The value of a field, its folds joined.
QByteArray unfolded(const QByteArray &field)
{
    QByteArray value = field.mid(field.indexOf(':') + 1);
    value.replace("\r\n", " ").replace('\n', ' ');
    return value.trimmed();
}

} // namespace

OutboxMessage::OutboxMessage(OutboxMessage &&) noexcept = default;
OutboxMessage &OutboxMessage::operator=(OutboxMessage &&) noexcept = default;
OutboxMessage::~OutboxMessage() = default;

QList<QByteArray> OutboxMessage::addresses(const QByteArray &value)
{
    QList<QByteArray> out;
    QByteArray bare; // the item's text outside quotes, comments and <>
    QByteArray angle;
    bool inAngle = false, sawAngle = false, inQuote = false;
    int comment = 0;
    const auto finish = [&] {
        QByteArray address = sawAngle ? angle.trimmed() : bare.trimmed();
        // A route in front of the address (obsolete syntax) is not part of it.
        if (sawAngle && address.startsWith('@') && address.contains(':'))
            address = address.mid(address.indexOf(':') + 1);
        if (address.contains('@') && !address.contains(' '))
            out.append(address);
        bare.clear();
        angle.clear();
        sawAngle = false;
    };
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (inQuote) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inQuote = false;
            continue;
        }
        if (comment) {
            if (c == '\\')
                ++i;
            else if (c == '(')
                ++comment;
            else if (c == ')')
                --comment;
            continue;
        }
        if (inAngle) {
            if (c == '>')
                inAngle = false;
            else
                angle += c;
            continue;
        }
        switch (c) {
        case '"':
            inQuote = true;
            break;
        case '(':
            comment = 1;
            break;
        case '<':
            inAngle = sawAngle = true;
            angle.clear();
            break;
        case ':': // a group's name ends
            bare.clear();
            break;
        case ',':
        case ';':
            finish();
            break;
        default:
            bare += c;
        }
    }
    finish();
    return out;
}

std::optional<OutboxMessage> OutboxMessage::open(const QString &path, QString *problem)
{
    const QString name = QDir::toNativeSeparators(path);
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("%1 could not be read (%2).").arg(name, file->errorString());
        return std::nullopt;
    }
    OutboxMessage m;
    m.m_path = path;
    m.m_size = file->size();
    QSet<QByteArray> seen;
    QByteArray field; // the field being read, its folds included
    bool ended = false;
    const auto take = [&](const QByteArray &f) {
        const QByteArray name = fieldName(f);
        if (name == "to" || name == "cc" || name == "bcc") {
            for (const QByteArray &a : addresses(unfolded(f))) {
                if (!seen.contains(a.toLower())) {
                    seen.insert(a.toLower());
                    m.m_recipients.append(a);
                }
            }
        } else if (name == "message-id") {
            m.m_messageId = unfolded(f);
        } else if (name == "subject") {
            m.m_subject = QString::fromUtf8(unfolded(f));
        }
        if (name != "bcc")
            m.m_header += f;
    };
    while (!ended) {
        QByteArray line = file->readLine(MaxLineOctets + 3);
        if (line.isEmpty())
            break;
        const qsizetype content = line.size() - (line.endsWith("\r\n") ? 2 : line.endsWith('\n') ? 1 : 0);
        if (content > MaxLineOctets) {
            *problem
                = QStringLiteral("%1 has a header line longer than %2 octets, which mail servers refuse: \"%3...\".")
                      .arg(name)
                      .arg(MaxLineOctets)
                      .arg(QString::fromUtf8(line.left(40)).simplified());
            return std::nullopt;
        }
        if (content == 0) {
            ended = true;
        } else if (line.at(0) == ' ' || line.at(0) == '\t') {
            if (field.isEmpty())
                break; // a fold with nothing to continue
            field += line;
            continue;
        } else if (fieldName(line).isEmpty()) {
            break;
        }
        if (!field.isEmpty())
            take(field);
        field = ended ? QByteArray() : line;
        if (ended)
            m.m_header += line;
        if (file->pos() > MaxHeaderBytes)
            break;
    }
    if (!ended) {
        *problem = QStringLiteral("%1 is not a mail message: it does not start with header fields ended by a blank "
                                  "line.")
                       .arg(name);
        return std::nullopt;
    }
    if (m.m_recipients.isEmpty()) {
        *problem = QStringLiteral("%1 has no recipient address in To, Cc or Bcc.").arg(name);
        return std::nullopt;
    }
    m.m_bodyOffset = file->pos();
    m.m_file = std::move(file);
    return m;
}

bool OutboxMessage::rewind(bool crlf)
{
    m_crlf = crlf;
    m_headerSent = 0;
    m_lastWasCr = false;
    m_carry.clear();
    return m_file && m_file->seek(m_bodyOffset);
}

qint64 OutboxMessage::readRaw(char *buf, qint64 size)
{
    if (m_headerSent < m_header.size()) {
        const qint64 n = qMin(size, m_header.size() - m_headerSent);
        memcpy(buf, m_header.constData() + m_headerSent, size_t(n));
        m_headerSent += n;
        return n;
    }
    return m_file->read(buf, size);
}

qint64 OutboxMessage::read(char *buf, qint64 size)
{
    if (!m_crlf)
        return readRaw(buf, size);
    qint64 out = 0;
    while (out < size) {
        if (!m_carry.isEmpty()) {
            const qint64 n = qMin(size - out, qint64(m_carry.size()));
            memcpy(buf + out, m_carry.constData(), size_t(n));
            m_carry.remove(0, n);
            out += n;
            continue;
        }
        // At most half the room, so every LF can become two bytes.
        char raw[32 * 1024];
        const qint64 want = qMin<qint64>(sizeof raw, qMax<qint64>(1, (size - out) / 2));
        const qint64 n = readRaw(raw, want);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        for (qint64 i = 0; i < n; ++i) {
            const char c = raw[i];
            if (c == '\n' && !m_lastWasCr)
                m_carry += '\r';
            m_carry += c;
            m_lastWasCr = c == '\r';
        }
    }
    return out;
}
