#pragma once
// The record of the messages the mailing-list folder check has applied: a
// table of its own in the list file, beside `mailist` (which stays exactly
// as it is), written in the same transaction as the change each message
// caused. A message that the check meets again, because its move out of the
// folder failed or the program died before the move, is then only moved,
// never applied twice. The record keeps the last Limit messages.
#include <QByteArray>
#include <QString>

class MLTable;
class SqliteDb;

class HandledMessages
{
public:
    static constexpr qint64 Limit = 100000;
    static constexpr const char *TableName = "HandledMessages";

    // A message's identity: its Message-ID and the store's unique name for
    // its file, hashed together (16 bytes). Empty when both are empty.
    static QByteArray identity(const QString &messageId, const QString &uniqueName);

    explicit HandledMessages(MLTable &table);

    // Whether the message was recorded; a file without the record's table
    // has none. Throws TableError.
    bool contains(const QByteArray &identity) const;
    // Records the message inside the transaction the caller holds open on
    // the table (MLTable::Transaction), dropping the oldest beyond Limit.
    // Throws TableError, also when no transaction is open any more.
    void record(const QByteArray &identity);
    // Messages recorded.
    qint64 count() const;

    // Makes the record's table where it is missing; failures are ignored
    // (record() makes it too). Called when the list file is opened.
    static void createIfMissing(SqliteDb &db) noexcept;

private:
    MLTable &m_table;
};
