#include "mail/MailingJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace {

constexpr int Format = 1;

QJsonArray toArray(const QStringList &items)
{
    QJsonArray out;
    for (const QString &item : items)
        out.append(item);
    return out;
}

bool toList(const QJsonValue &value, QStringList *out)
{
    if (!value.isArray())
        return false;
    out->clear();
    for (const QJsonValue &item : value.toArray()) {
        if (!item.isString())
            return false;
        out->append(item.toString());
    }
    return true;
}

bool toText(const QJsonValue &value, QString *out)
{
    if (!value.isString())
        return false;
    *out = value.toString();
    return true;
}

QByteArray messagePart(const MailingRecord &m)
{
    const QJsonObject message{{QStringLiteral("subject"), m.subject},
                              {QStringLiteral("text"), m.text},
                              {QStringLiteral("attachments"), toArray(m.attachments)},
                              {QStringLiteral("to"), toArray(m.to)},
                              {QStringLiteral("cc"), toArray(m.cc)},
                              {QStringLiteral("receipt"), m.receipt},
                              {QStringLiteral("category"), m.category}};
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

bool readMessage(const QJsonObject &o, MailingRecord *m)
{
    const QJsonValue receipt = o.value(QStringLiteral("receipt"));
    if (!receipt.isBool())
        return false;
    m->receipt = receipt.toBool();
    return toText(o.value(QStringLiteral("subject")), &m->subject) && toText(o.value(QStringLiteral("text")), &m->text)
           && toList(o.value(QStringLiteral("attachments")), &m->attachments)
           && toList(o.value(QStringLiteral("to")), &m->to) && toList(o.value(QStringLiteral("cc")), &m->cc)
           && toText(o.value(QStringLiteral("category")), &m->category);
}

} // namespace

MailingJournal::MailingJournal(const QString &programDir)
    : m_path(QDir(programDir).filePath(fileName()))
{
}

bool MailingJournal::exists() const
{
    return QFileInfo::exists(m_path);
}

bool MailingJournal::read(MailingRecord *out, QString *error) const
{
    const QString name = QDir::toNativeSeparators(m_path);
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 could not be read (%2).").arg(name, file.errorString());
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    const QJsonObject o = doc.object();
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("%1 is damaged: it is corrupt or cut short.").arg(name);
        return false;
    }
    if (o.value(QStringLiteral("format")).toInt() != Format) {
        *error = QStringLiteral("%1 is not a record of a mailing this program can resume.").arg(name);
        return false;
    }
    MailingRecord m;
    const double placed = o.value(QStringLiteral("placed")).toDouble(-1);
    if (!readMessage(o.value(QStringLiteral("message")).toObject(), &m)
        || !toText(o.value(QStringLiteral("lastPlaced")), &m.lastPlaced) || placed < 0 || placed != std::floor(placed)
        || (placed > 0) != !m.lastPlaced.isEmpty()) {
        *error = QStringLiteral("%1 is damaged: a part of the mailing is missing or wrong.").arg(name);
        return false;
    }
    m.placed = qint64(placed);
    *out = m;
    return true;
}

bool MailingJournal::remove(QString *error)
{
    QFile file(m_path);
    if (!file.exists() || file.remove())
        return true;
    *error = QStringLiteral("%1 could not be removed (%2).").arg(QDir::toNativeSeparators(m_path), file.errorString());
    return false;
}

bool MailingJournal::begin(const MailingRecord &mailing, QString *error)
{
    m_mailing = mailing;
    m_message = messagePart(mailing);
    m_failure.clear();
    return write(error);
}

void MailingJournal::placed(const QString &lastAddress, qint64 placed)
{
    m_mailing.lastPlaced = lastAddress;
    m_mailing.placed = placed;
    QString why;
    m_failure = write(&why) ? QString() : why;
}

QString MailingJournal::end(bool finished)
{
    if (m_message.isEmpty())
        return {};
    QString why;
    QString problem;
    // One that placed nothing mails nobody twice when sent again.
    if (finished || m_mailing.placed == 0) {
        if (!remove(&why))
            problem = why + QStringLiteral(" Answer No when the next start offers to resume it.");
    } else if (!m_failure.isEmpty() && !write(&why)) {
        // Resuming from where an older record says would mail some twice.
        QString removed;
        remove(&removed);
        problem
            = why
              + QStringLiteral(" The mailing cannot be resumed from it; it stopped after %1.").arg(m_mailing.lastPlaced)
              + (removed.isEmpty() ? QString() : QLatin1Char(' ') + removed);
    }
    m_message.clear();
    return problem;
}

bool MailingJournal::write(QString *error)
{
    QJsonObject progress{{QStringLiteral("format"), Format},
                         {QStringLiteral("placed"), double(m_mailing.placed)},
                         {QStringLiteral("lastPlaced"), m_mailing.lastPlaced}};
    QByteArray bytes = QJsonDocument(progress).toJson(QJsonDocument::Compact);
    bytes.chop(1); // the closing brace: the message follows
    bytes += ",\"message\":" + m_message + "}\n";

    // Unbuffered, a write cut short is seen here; the rest, tried once
    // more, fails at once with the system's reason.
    QSaveFile file(m_path);
    qint64 done = -1;
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        done = file.write(bytes);
        if (done >= 0 && done < bytes.size()) {
            const qint64 rest = file.write(bytes.constData() + done, bytes.size() - done);
            done = rest < 0 ? rest : done + rest;
        }
    }
    if (done == bytes.size() && file.commit())
        return true;
    *error = QStringLiteral("%1 could not be written (%2).").arg(QDir::toNativeSeparators(m_path), file.errorString());
    return false;
}
