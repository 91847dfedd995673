#pragma once
// The mailing-list table over one SQLite file: one current record, one
// category filter and one ordering, shared by every part of the program.
#include "store/CategoryCounts.h"
#include "store/TableError.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

class SqliteDb;
struct SqlQuery;
struct sqlite3_stmt;

struct Entry
{
    qint64 rowid = 0;
    QString Item;
    QString Category;
    qint32 Bounces = 0;
    QString Comments;
};

enum class Ordering { None, ByItem, ByCategory, ByBounce };

class MLTable : public QObject
{
    Q_OBJECT
public:
    static constexpr int FieldWidth = 80;
    static constexpr int BusyTimeoutMs = 1500; // 15 retries, 100 ms apart
    static QString defaultFileName() { return QStringLiteral("mailist.DAT"); }

    explicit MLTable(QObject *parent = nullptr);
    ~MLTable() override;

    void setFilePath(const QString &path);
    QString filePath() const { return m_path; }
    void setExclusive(bool exclusive);
    bool exclusive() const { return m_exclusive; }

    // Opens an existing table file (never creates one); throws on failure.
    void open();
    void close();
    bool active() const;
    bool readOnly() const;

    // "ByItem", "ByCategory", "ByBounce" or empty for the natural order.
    void setIndexName(const QString &name);
    QString indexName() const;
    Ordering ordering() const { return m_ordering; }

    // Prefix of Category, ignoring the case of a to z. Bound as a value,
    // so quotes and wildcards in it are plain characters.
    void setFilterCategory(const QString &prefix);
    QString filterCategory() const { return m_filterCategory; }
    void setFiltered(bool on);
    bool filtered() const { return m_filtered; }

    // Records in the current view (after the filter).
    int recordCount() const;

    // Cursor over the current view.
    void first();
    void next();
    bool eof() const { return m_eof; }
    bool hasCurrent() const { return m_pos >= 0 && m_pos < m_rows.size(); }
    const Entry &current() const;

    // Whole-value, case-insensitive look-ups over the whole table, filter or
    // not; the found record becomes current.
    bool locate(const QString &item);
    bool locate(const QString &item, const QString &category);
    // Makes the record with this row id current (the grid's selection).
    bool locateRowid(qint64 rowid);

    // Stores at once; the new record becomes current.
    void append(const QString &item, const QString &category, qint32 bounces, const QString &comments);
    // Edit and post one field of the current record.
    void setBounces(qint32 bounces);
    void setComments(const QString &comments);
    void setItem(const QString &item);
    void setCategory(const QString &category);
    // Removes the current record; the next one (else the previous) becomes current.
    void deleteCurrent();
    // Between the slices of a long change of many rows, each slice its own
    // commit: rows gone through so far and in all; false stops there.
    using SliceStep = std::function<bool(qint64 done, qint64 total)>;

    // Needs the table opened exclusively. With a step, it deletes a slice
    // of rows at a time, so a stop leaves the rest.
    void emptyTable(const SliceStep &step = {});
    // Bounces to 0 for every record of the table, filter or not.
    void resetAllBounces(const SliceStep &step = {});

    // Rows [offset, offset + limit) of the current view, for the grid.
    QVector<Entry> page(int offset, int limit) const;
    // The rows of the current view just after (or before) a row read
    // earlier, in view order: a neighbouring page without walking an offset.
    QVector<Entry> pageNextTo(const Entry &row, int limit, bool before) const;
    // Where the record with this row id stands in the current view; none
    // when it is gone or outside the filter.
    std::optional<int> viewPosition(qint64 rowid) const;

    // Nesting display hold: while held, views do not follow the table.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_holdCount > 0; }

    // Look-up and change as one unit, so two processes cannot both add the
    // same address. Rolls back unless committed. Opened while another is
    // open, it is a part of that one (a savepoint): its commit hands its
    // changes to the outer transaction, its rollback undoes only its own, so
    // the folder check can store all that one message does, and the record
    // of the message, at once.
    class Transaction
    {
    public:
        // A part inside another transaction that makes at most one change,
        // committed right after it, needs no savepoint: SQLite undoes a
        // failed statement on its own, and a fault of the file undoes the
        // whole outer transaction.
        enum class Writes { Many, OneStatement };
        explicit Transaction(MLTable &table, Writes writes = Writes::Many);
        ~Transaction();
        void commit();
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;

    private:
        MLTable *m_table;
        bool m_done = false;
        bool m_nested = false;
        bool m_open = false;
    };

    // The file's connection, for the tables kept beside the list in the same
    // file (store/HandledMessages.h) that change in the same transaction as
    // the list. Throws TableError when the table is closed.
    SqliteDb &connection() const;

    // Every record of the table in the current ordering, whatever the
    // filter, read in one pass without moving the cursor: for list-wide
    // work over a million entries. Sees the table as it was when it began.
    // The table must stay open while it runs.
    class Scan
    {
    public:
        explicit Scan(const MLTable &table);
        ~Scan();
        Scan(const Scan &) = delete;
        Scan &operator=(const Scan &) = delete;

        // Records in the table when the scan began.
        qint64 total() const { return m_total; }
        // Steps to the next record; false after the last. A failure throws
        // TableError, and the next call starts again after the last record read.
        bool next();
        // UTF-8 as stored; valid until the next step.
        QByteArrayView item() const;
        QByteArrayView category() const;
        QByteArrayView comments() const;
        qint32 bounces() const;

    private:
        void start(const Entry *after);
        void resume();
        bool sameConnection() const;
        void finish();

        const MLTable &m_table;
        SqliteDb *m_db;
        quint64 m_opening;
        sqlite3_stmt *m_stmt = nullptr;
        qint64 m_total = 0;
        qint64 m_lastRowid = 0;
        bool m_failed = false;
        bool m_done = false;
        bool m_ownTransaction = false;
    };

    static QString cut(const QString &text);

Q_SIGNALS:
    void viewChanged();
    void dataChanged();
    void controlsEnabled();

private:
    QVector<Entry> readRows(const SqlQuery &query, int limit, bool reversed) const;
    void requireOpen() const;
    void exec(const char *sql) const;
    // Runs a change bound to a row id range (?1 to ?2) over the table.
    void bySlices(const char *sql, const SliceStep &step);
    void loadFrom(const Entry *after, bool clear, int limit);
    bool locateWith(const QByteArray &sql, const QString &item, const QString *category, qint64 rowid = 0);
    void updateField(const char *column, const QString *text, const qint32 *number);
    void invalidateCount() const;
    void changed();
    void resetCursor();
    // The cursor on this one record; the rows after it are read on demand.
    void holdOnly(Entry e, bool atEnd = false);
    // The view's rows after (or before) a key; no limit when limit <= 0.
    SqlQuery viewQuery(const Entry *after, bool descending, int limit, int offset, bool withFilter = true) const;
    // The count of the rows viewQuery(after, descending, 0, 0) gives, on an index where one fits.
    SqlQuery viewCount(const Entry &after, bool descending) const;

    std::unique_ptr<SqliteDb> m_db;
    // Counts the opens, so a scan knows its connection is the current one.
    quint64 m_openings = 0;
    QString m_path;
    bool m_exclusive = false;
    Ordering m_ordering = Ordering::None;
    QString m_filterCategory;
    bool m_filtered = false;
    int m_holdCount = 0;
    // Transactions of ours open on the connection (outer and nested).
    int m_transactions = 0;

    // Cursor: the fetched rows as they are now and their sort keys as fetched,
    // so a scan that edits an ordered field neither skips nor repeats rows.
    QVector<Entry> m_rows;
    QVector<Entry> m_keys;
    int m_pos = -1;
    bool m_eof = true;
    bool m_more = false;

    mutable CategoryCounts m_categoryCounts;

    mutable qint64 m_countVersion = -1;
    mutable int m_count = -1;
    // Set by a filtered count; kept across edits, as one edit barely moves it.
    mutable bool m_dense = false;
};
