#pragma once
// The record of the messages the mailing-list folder check has applied: a
// table of its own in the list file, beside `mailist` (which stays exactly
// as it is), written in the same transaction as the change each message
// caused. A message that the check meets again, because its move out of the
// folder failed or the program died before the move, is then only moved,
// never applied twice. The record keeps the last Limit messages.
#include <QByteArray>
#include <QString>

#include <optional>

class MLTable;
class SqliteDb;

class HandledMessages
{
public:
    static constexpr qint64 Limit = 100000;
    static constexpr const char *TableName = "HandledMessages";

    // For a store whose unique names hold only within one generation of a
    // folder (an IMAP mailbox's UID validity): the folder, its generation now
    // and the message's size. A message recorded under another generation,
    // or in another folder, is then known by its Message-ID and size.
    struct Generation
    {
        QString folder;
        qint64 number = 0;
        qint64 size = 0;
    };

    // A message's identity: its Message-ID and the store's unique name for
    // its file, hashed together (the first 16 bytes, which alone tag its log
    // lines); with a generation and a Message-ID, then the key by content and
    // the generation's. Empty when Message-ID and unique name are empty.
    static QByteArray identity(const QString &messageId, const QString &uniqueName,
                               const std::optional<Generation> &generation = std::nullopt);

    explicit HandledMessages(MLTable &table);

    // Whether the message was recorded, by its unique name or, under another
    // folder or generation, by its content; a file without the record's
    // tables has none. Throws TableError.
    bool contains(const QByteArray &identity) const;
    // Records the message inside the transaction the caller holds open on
    // the table (MLTable::Transaction), dropping the oldest beyond Limit.
    // Throws TableError, also when no transaction is open any more.
    void record(const QByteArray &identity);
    // Messages recorded.
    qint64 count() const;

    // Makes the record's tables where they are missing; failures are ignored
    // (record() makes it too). Called when the list file is opened.
    static void createIfMissing(SqliteDb &db) noexcept;

private:
    MLTable &m_table;
};
