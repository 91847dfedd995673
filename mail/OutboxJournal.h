#pragma once
// The record that keeps an Outbox message from going out twice,
// "outbox.journal" beside the list file. Each message is recorded before its
// data is sent and again as soon as the mail system accepted it; it leaves
// the record once it lies in "Sent Items". A run that dies after the
// acceptance is finished by the next one, which moves the message without
// sending it again. A message sent in one transaction per recipient also
// records how many recipients are done, so a later run goes on after them.
// The file is replaced whole at every change but these counts, which are
// added as lines to a second file until the next change; only an
// acceptance waits for the disk, the rest survive a kill but not a power
// cut.
#include <QFile>
#include <QList>
#include <QString>

#include <memory>

class OutboxJournal
{
public:
    static QString fileName() { return QStringLiteral("outbox.journal"); }

    // Which message: its file's unique name, its Message-ID and its size.
    struct Identity
    {
        QString uniqueName;
        QString messageId;
        qint64 size = 0;
        bool operator==(const Identity &) const = default;
    };
    enum class State { Unknown, Sending, Accepted };

    explicit OutboxJournal(const QString &dir);
    ~OutboxJournal();

    QString path() const { return m_path; }
    // False with *error naming the file when one exists that cannot be
    // read; then nothing may be sent, as what it holds is not known.
    bool load(QString *error);

    State state(const Identity &id) const;
    // Each false with *error when the record cannot be written: the
    // message must then not be sent (or, accepted, must not be sent again).
    bool sending(const Identity &id, QString *error);
    bool accepted(const Identity &id, QString *error);
    // Sending, with the first done recipients finished for good.
    bool progress(const Identity &id, int done, QString *error);
    int recipientsDone(const Identity &id) const;
    // The message is in "Sent Items", or was never sent.
    bool forget(const Identity &id, QString *error);
    // Drops the records of messages no longer waiting: a run killed after
    // filing a message but before forgetting it leaves one behind.
    bool keepOnly(const QStringList &uniqueNames, QString *error);

private:
    struct Entry
    {
        Identity id;
        State state = State::Unknown;
        int done = 0;
        bool operator==(const Entry &) const = default;
    };
    // durable: on the disk before it returns, not only past a kill.
    bool set(const Identity &id, State state, QString *error, int done = 0, bool durable = true);
    bool write(QString *error, bool durable);
    bool writeRecord(QString *error, bool durable);
    // Counts added since the record was last written, one line each.
    QString progressPath() const;
    void readProgress();

    QString m_path;
    QList<Entry> m_entries;
    std::unique_ptr<QFile> m_progress;
};
