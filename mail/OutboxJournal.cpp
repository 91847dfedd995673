#include "mail/OutboxJournal.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

constexpr int Format = 1;

} // namespace

OutboxJournal::OutboxJournal(const QString &dir)
    : m_path(QDir(dir).filePath(fileName()))
{
}

bool OutboxJournal::load(QString *error)
{
    m_entries.clear();
    QFile file(m_path);
    if (!file.exists())
        return true;
    const QString name = QDir::toNativeSeparators(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 could not be read (%2).").arg(name, file.errorString());
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()
        || doc.object().value(QStringLiteral("format")).toInt() != Format
        || !doc.object().value(QStringLiteral("messages")).isArray()) {
        *error = QStringLiteral("%1 is damaged: it is corrupt or cut short. Move the messages in the Outbox that "
                                "were already sent to \"Sent Items\" and remove the file.")
                     .arg(name);
        return false;
    }
    for (const QJsonValue &v : doc.object().value(QStringLiteral("messages")).toArray()) {
        const QJsonObject o = v.toObject();
        const QString state = o.value(QStringLiteral("state")).toString();
        Entry e;
        e.id.uniqueName = o.value(QStringLiteral("file")).toString();
        e.id.messageId = o.value(QStringLiteral("messageId")).toString();
        e.id.size = qint64(o.value(QStringLiteral("size")).toDouble(-1));
        e.state = state == QLatin1String("accepted")  ? State::Accepted
                  : state == QLatin1String("sending") ? State::Sending
                                                      : State::Unknown;
        if (e.id.uniqueName.isEmpty() || e.state == State::Unknown) {
            *error = QStringLiteral("%1 is damaged: a message's record is missing or wrong.").arg(name);
            m_entries.clear();
            return false;
        }
        m_entries.append(e);
    }
    return true;
}

OutboxJournal::State OutboxJournal::state(const Identity &id) const
{
    for (const Entry &e : m_entries) {
        if (e.id == id)
            return e.state;
    }
    return State::Unknown;
}

bool OutboxJournal::sending(const Identity &id, QString *error)
{
    return set(id, State::Sending, error);
}

bool OutboxJournal::accepted(const Identity &id, QString *error)
{
    return set(id, State::Accepted, error);
}

bool OutboxJournal::forget(const Identity &id, QString *error)
{
    return set(id, State::Unknown, error);
}

bool OutboxJournal::set(const Identity &id, State state, QString *error)
{
    const QList<Entry> before = m_entries;
    m_entries.removeIf([&](const Entry &e) { return e.id == id; });
    if (state != State::Unknown)
        m_entries.append({id, state});
    if (m_entries == before)
        return true;
    if (write(error))
        return true;
    m_entries = before;
    return false;
}

bool OutboxJournal::write(QString *error)
{
    if (m_entries.isEmpty()) {
        QFile file(m_path);
        if (!file.exists() || file.remove())
            return true;
        *error
            = QStringLiteral("%1 could not be removed (%2).").arg(QDir::toNativeSeparators(m_path), file.errorString());
        return false;
    }
    QJsonArray messages;
    for (const Entry &e : m_entries)
        messages.append(QJsonObject{{QStringLiteral("file"), e.id.uniqueName},
                                    {QStringLiteral("messageId"), e.id.messageId},
                                    {QStringLiteral("size"), double(e.id.size)},
                                    {QStringLiteral("state"), e.state == State::Accepted ? QStringLiteral("accepted")
                                                                                         : QStringLiteral("sending")}});
    const QByteArray bytes
        = QJsonDocument(QJsonObject{{QStringLiteral("format"), Format}, {QStringLiteral("messages"), messages}})
              .toJson(QJsonDocument::Compact)
          + '\n';
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = QStringLiteral("%1 could not be written (%2).").arg(QDir::toNativeSeparators(m_path), file.errorString());
    return false;
}
