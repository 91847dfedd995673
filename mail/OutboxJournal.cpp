#include "mail/OutboxJournal.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <filesystem>

namespace {

constexpr int Format = 1;

} // namespace

OutboxJournal::OutboxJournal(const QString &dir)
    : m_path(QDir(dir).filePath(fileName()))
{
}

OutboxJournal::~OutboxJournal() = default;

QString OutboxJournal::progressPath() const
{
    return m_path + QStringLiteral(".progress");
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
        e.done = o.value(QStringLiteral("done")).toInt(0);
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
    readProgress();
    return true;
}

void OutboxJournal::readProgress()
{
    QFile file(progressPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        const qsizetype tab = line.indexOf('\t');
        bool number = false;
        const int done = line.left(tab).toInt(&number);
        // A line cut short by a power cut says nothing.
        if (tab <= 0 || !number || !line.endsWith('\n'))
            continue;
        const QString unique = QString::fromUtf8(line.mid(tab + 1).chopped(1));
        for (Entry &e : m_entries) {
            if (e.id.uniqueName == unique && e.state == State::Sending)
                e.done = std::max(e.done, done);
        }
    }
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
    // Lost with the power, it costs what a kill before acceptance costs: the
    // message goes once more. Only an acceptance must outlast the power.
    return set(id, State::Sending, error, 0, false);
}

bool OutboxJournal::accepted(const Identity &id, QString *error)
{
    return set(id, State::Accepted, error);
}

bool OutboxJournal::progress(const Identity &id, int done, QString *error)
{
    auto entry = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry &e) { return e.id == id; });
    if (entry == m_entries.end() || entry->state != State::Sending)
        return set(id, State::Sending, error, done, false);
    // A line added at every recipient, as replacing the file each time
    // would cost more than the transaction. A kill cannot lose a line
    // written; a power cut can, and then some recipients get the message
    // once more.
    if (!m_progress) {
        m_progress = std::make_unique<QFile>(progressPath());
        if (!m_progress->open(QIODevice::WriteOnly | QIODevice::Append)) {
            *error = QStringLiteral("%1 could not be written (%2).")
                         .arg(QDir::toNativeSeparators(progressPath()), m_progress->errorString());
            m_progress.reset();
            return false;
        }
    }
    const QByteArray line = QByteArray::number(done) + '\t' + id.uniqueName.toUtf8() + '\n';
    if (m_progress->write(line) != line.size() || !m_progress->flush()) {
        *error = QStringLiteral("%1 could not be written (%2).")
                     .arg(QDir::toNativeSeparators(progressPath()), m_progress->errorString());
        return false;
    }
    entry->done = done;
    return true;
}

int OutboxJournal::recipientsDone(const Identity &id) const
{
    for (const Entry &e : m_entries) {
        if (e.id == id)
            return e.state == State::Sending ? e.done : 0;
    }
    return 0;
}

bool OutboxJournal::forget(const Identity &id, QString *error)
{
    // Lost with the power, the record names a message no longer waiting.
    return set(id, State::Unknown, error, 0, false);
}

bool OutboxJournal::keepOnly(const QStringList &uniqueNames, QString *error)
{
    const QList<Entry> before = m_entries;
    m_entries.removeIf([&](const Entry &e) { return !uniqueNames.contains(e.id.uniqueName); });
    if (m_entries == before || write(error, false))
        return true;
    m_entries = before;
    return false;
}

bool OutboxJournal::set(const Identity &id, State state, QString *error, int done, bool durable)
{
    const QList<Entry> before = m_entries;
    m_entries.removeIf([&](const Entry &e) { return e.id == id; });
    if (state != State::Unknown)
        m_entries.append({id, state, done});
    if (m_entries == before)
        return true;
    if (write(error, durable))
        return true;
    m_entries = before;
    return false;
}

bool OutboxJournal::write(QString *error, bool durable)
{
    if (!writeRecord(error, durable))
        return false;
    // The record now holds every count the lines gave.
    m_progress.reset();
    QFile::remove(progressPath());
    return true;
}

bool OutboxJournal::writeRecord(QString *error, bool durable)
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
    for (const Entry &e : m_entries) {
        QJsonObject o{{QStringLiteral("file"), e.id.uniqueName},
                      {QStringLiteral("messageId"), e.id.messageId},
                      {QStringLiteral("size"), double(e.id.size)},
                      {QStringLiteral("state"),
                       e.state == State::Accepted ? QStringLiteral("accepted") : QStringLiteral("sending")}};
        if (e.done > 0)
            o.insert(QStringLiteral("done"), e.done);
        messages.append(o);
    }
    const QByteArray bytes
        = QJsonDocument(QJsonObject{{QStringLiteral("format"), Format}, {QStringLiteral("messages"), messages}})
              .toJson(QJsonDocument::Compact)
          + '\n';
    if (!durable) {
        // Replaced whole all the same, but without waiting for the disk.
        const QString next = m_path + QStringLiteral(".new");
        QFile file(next);
        std::error_code renamed;
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
            && file.flush()) {
            file.close();
            std::filesystem::rename(std::filesystem::path(next.toStdU16String()),
                                    std::filesystem::path(m_path.toStdU16String()), renamed);
            if (!renamed)
                return true;
        }
        *error = QStringLiteral("%1 could not be written (%2).")
                     .arg(QDir::toNativeSeparators(m_path),
                          renamed ? QString::fromStdString(renamed.message()) : file.errorString());
        file.remove();
        return false;
    }
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *error = QStringLiteral("%1 could not be written (%2).").arg(QDir::toNativeSeparators(m_path), file.errorString());
    return false;
}
