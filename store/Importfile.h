#pragma once
// The batch routine behind import, manual entry and the folder scan: each
// line becomes one entry operation (add or remove) or one bounce.
#include "core/Progress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class EntryRules;
class Prompts;

// The lines to work through: typed or harvested text, or a whole file kept
// as its bytes with one offset per line and decoded a line at a time, so a
// large import costs little more memory than the file itself.
class ImportLines
{
public:
    static constexpr qint64 LargestFile = 256LL * 1024 * 1024;

    explicit ImportLines(QStringList lines = {});

    // UTF-8, or windows-1252 throughout when the file is not valid UTF-8;
    // CR LF, LF and CR line ends; a byte-order mark is skipped. Refuses a
    // folder, a file over LargestFile and a binary file; *error says why.
    static std::optional<ImportLines> fromFile(const QString &path, QString *error);

    qsizetype size() const;
    QString at(qsizetype i) const;

private:
    QStringList m_list;
    QByteArray m_bytes;
    std::vector<qsizetype> m_starts;
    bool m_utf8 = true;
};

// Cuts a line into trimmed fields at a delimiter (the tokeniser of intake).
using FieldSplitter = std::function<void(QStringList &, const QString &, const QString &)>;

struct ImportServices
{
    EntryRules &rules;
    Prompts &prompts;
    ProgressFn progress;
    FieldSplitter split;
    // The date-and-time text of comments; the clock's by default.
    std::function<QString()> now = {};
    // Asked between lines; a stop keeps what was done so far.
    StopQuery stopped = {};
    // Names the job in the report of a stop: "Import cancelled: ...".
    QString job = QStringLiteral("Import");
    // Lines stored per commit; 0 for the usual batch (store/EntryBatch.h).
    int batchLines = 0;
};

// What a run did with its lines. Blank lines count nowhere.
struct ImportResult
{
    int changed = 0; // added, removed or counted
    int unchanged = 0; // already there, or not found
    int refused = 0; // refused by a rule, or not stored
    // Lines not worked through, or worked through and not stored: those
    // the user still has to deal with, in their order.
    QList<qsizetype> left;
    bool stopped = false; // by the user, or after a failing line
    bool failed = false; // outside the lines; nothing was reported per line

    int processed() const { return changed + unchanged + refused; }
};

// Lines longer than this cannot hold an address and a category; each is
// reported as a failing line instead of reaching the list and the log.
inline constexpr qsizetype LongestImportLine = 4096;

// Remove mode is the one where neither add nor bounce is set. Shows the
// processed count with what came of the lines at the end, and asks whether
// to go on after a line that failed or could not be stored (that line is on
// the error list, its reason in the log). Lines are stored in batches: a
// batch the list file fails to store is taken back whole, from the counts,
// the log and the error list, and stops the run with a message naming the
// file and the lines; they are among `left`.
ImportResult Importfile(const ImportServices &services, const ImportLines &lines, bool add, bool remove, bool bounce,
                        const QString &category, bool withCategory, const QString &delimiter,
                        const QString &commentPrefix);
