#pragma once
// Shared by the folder check's benchmarks: the generated folder, a list of
// ListRows entries, one round's store and list, and the check's raw floor
// on the same files.
#include "bench/BenchSupport.h"

#include <QList>
#include <QStringList>
#include <QtGlobal>

#include <gmime/gmime.h>

#include <functional>

namespace platform::outlook {
class OleVariant;
}

namespace bench::folder {

inline constexpr qint64 ListRows = 100'000;

// Four in ten subscribe, two unsubscribe, two are failure notices (one a
// standard report), two are other mail that stays.
QByteArray message(qint64 i);
QList<QByteArray> messages(qint64 count);
// The log lines a check of the first `messages` makes.
int expectedLogLines(qint64 messages, bool readReports);

// A fresh store with the folder delivered and a copy of the list, in `dir`.
struct Round
{
    Round(const QString &dir, const QList<QByteArray> &mail);
    ~Round();
    Round(const Round &) = delete;
    Round &operator=(const Round &) = delete;

    QString dir;
    QString storeRoot;
    QString listPath;
    QString binDir; // Deleted Items' cur/
    QStringList files;
};

// The list's store as the program holds it, set as a list owner has it.
struct CheckStore : Store
{
    CheckStore(const Round &round, bool readReports);
    std::function<platform::outlook::OleVariant()> application() const;
    QString root;
};

// What the check cannot do with less, per message in listed order: read the
// file, parse it with GMime, look up whether it was handled, and for a
// recognised one run its look-up and change, record it as handled in the
// same transaction, commit, and move its file.
// Wall seconds, and processor seconds of the whole process (every thread,
// user and kernel; on a shared machine steadier than the wall clock), with
// the kernel's part of them.
struct Spent
{
    double wall = 0;
    double cpu = 0;
    double kernel = 0;
    Spent &operator+=(const Spent &o)
    {
        wall += o.wall;
        cpu += o.cpu;
        kernel += o.kernel;
        return *this;
    }
};
Spent rawFloor(const Round &round);

// Started when made; spent() is the time since.
class Stopwatch
{
public:
    Stopwatch();
    Spent spent() const;

private:
    Clock::time_point m_start;
    double m_cpu;
    double m_kernel;
};

// The check's and the floor's time per message, and their ratios.
void reportAgainstFloor(benchmark::State &state, const Spent &checked, const Spent &floor, qint64 messages);

// The main of a benchmark that reads mail: HTML bodies are rendered as
// text, which needs a GUI application (offscreen unless the platform is set).
template<typename Application> int runWithApplication(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    g_mime_init();
    return runBenchmarks(argc, argv);
}

} // namespace bench::folder
