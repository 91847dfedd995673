#pragma once
// The batch routine behind import, manual entry and the folder scan: each
// line becomes one entry operation (add or remove) or one bounce.
#include "core/Progress.h"

#include <QByteArray>
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
};

// Lines longer than this cannot hold an address and a category; each is
// reported as a failing line instead of reaching the list and the log.
inline constexpr qsizetype LongestImportLine = 4096;

// Remove mode is the one where neither add nor bounce is set. Shows the
// processed count at the end and asks whether to go on after a failing
// line. Returns the count, or -1 when the run failed outside the lines.
int Importfile(const ImportServices &services, const ImportLines &lines, bool add, bool remove, bool bounce,
               const QString &category, bool withCategory, const QString &delimiter, const QString &commentPrefix);
