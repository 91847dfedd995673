#pragma once
// Shared by the benchmark programs: generated lists of entries, a plain
// SQLite connection to compare against, memory figures and a second
// process that writes to the same list.
#include "core/Prompts.h"
#include "store/ListWorkspace.h"
#include "store/MLTable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class QProcess;

namespace bench {

inline constexpr int CategoryCount = 200;
inline const std::vector<int64_t> ListSizes{10'000, 100'000, 1'000'000};

// Row i of a generated list has rowid i + 1. Indices at or past the list's
// size give fresh addresses in the same style, spread over the index.
QString address(qint64 i);
int generatedBounces(qint64 i);
// Rank 1 is the largest category; sizes fall off as 1/rank.
QString categoryOfRank(int rank);

// The list file with this many entries, made once per run in a temporary
// folder by a child process, so its memory never counts against ours.
// A clustered list ends in one block of a tenth of its rows, all in
// ClusteredCategory, as a large import leaves it.
QString listFile(qint64 rows, bool clustered = false);
inline const QString ClusteredCategory = QStringLiteral("Zeta Import");
// A fresh path in the run's temporary folder.
QString scratchPath(const QString &name);

// Lower and upper bound of a category prefix, as the table compares.
QByteArray prefixLow(const QString &prefix);
QByteArray prefixHigh(const QString &prefix);

// The table with the entry rules, the built-in settings and lists, as the
// program holds them; the log starts empty.
struct Store : ListWorkspace
{
    explicit Store(const QString &path)
        : ListWorkspace(QStringList())
    {
        openList(path);
    }
};

// Answers every question No and every file dialog with nothing, and counts
// what was shown: a benchmark that meets a prompt measured something else.
class CountingPrompts : public Prompts
{
public:
    int asked = 0; // everything shown
    int informed = 0; // of which information
    Answer confirm(const QString &) override { return ++asked, Answer::No; }
    void information(const QString &) override { ++asked, ++informed; }
    void warning(const QString &) override { ++asked; }
    void error(const QString &) override { ++asked; }
    QString openFileName(const QString &, const QString &, const QString &) override { return ++asked, QString(); }
    QString saveFileName(const QString &, const QString &, const QString &) override { return ++asked, QString(); }
};

// A plain connection with the table's pragmas: the figure to beat.
class RawDb
{
public:
    explicit RawDb(const QString &path);
    ~RawDb();
    RawDb(const RawDb &) = delete;
    RawDb &operator=(const RawDb &) = delete;

    sqlite3 *handle() const { return m_db; }
    // Throws std::runtime_error on failure.
    void exec(const char *sql);
    // Cached; reset before it is handed out.
    sqlite3_stmt *prepare(const char *sql);
    // Steps; throws on anything but a row or done.
    bool step(sqlite3_stmt *s);
    qint64 scalar(const char *sql);
    void bind(sqlite3_stmt *s, int i, const QByteArray &text);

private:
    sqlite3 *m_db = nullptr;
    QHash<QByteArray, sqlite3_stmt *> m_statements;
};

// The statements the table runs when the filter changes: the data version,
// the count and the checks of how dense the matches lie, then per limit
// given the two ends of the matching categories and the first rows of the
// view. Returns the count.
qint64 rawFilteredView(RawDb &raw, const QString &prefix, std::initializer_list<int> limits);

// Resident memory of this process from /proc/self/status, in MiB.
double residentMiB();
double peakResidentMiB();
// Starts a new high-water mark at the current resident size.
void resetPeakResident();

// The memory of one repetition, whatever earlier ones left resident: the
// high-water mark starts anew when it is made, and growth counts from there.
class PeakMeter
{
public:
    PeakMeter();
    // peak_MB, grown_MB (over the start) and rss_MB.
    void report(benchmark::State &state) const;

private:
    double m_startMiB;
};

// Another process running insertentry and processbounce on the file in a
// tight loop until stopped.
class Writer
{
public:
    explicit Writer(const QString &listPath);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    qint64 operations() const;
    qint64 failures() const;
    void stop();

private:
    void readProgress(qint64 *ops, qint64 *fails) const;

    QString m_stopFile;
    QString m_progressFile;
    std::unique_ptr<QProcess> m_process;
};
// One writer at a time: starting one for another file stops the last.
Writer &writerFor(const QString &listPath);
void stopWriters();

using Clock = std::chrono::steady_clock;
inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}
double percentile(std::vector<double> values, double p);

// Handles the child modes (list generation, writer); nullopt when this is
// a benchmark run.
std::optional<int> helperMode(int argc, char **argv);
// Runs the registered benchmarks; makes a core application if none exists.
int runBenchmarks(int argc, char **argv);

} // namespace bench
