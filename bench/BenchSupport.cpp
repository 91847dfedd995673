#include "bench/BenchSupport.h"

#include "core/AsciiCase.h"
#include "store/MLSchema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

namespace bench {

namespace {

quint64 mix(quint64 x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Chosen so that no address holds a piece the default rules refuse.
const std::array<const char *, 32> firstNames{"anna", "ben",    "carla", "david", "elena", "frank",  "greta",  "hugo",
                                              "ines", "jonas",  "karin", "lukas", "maria", "nils",   "olga",   "peter",
                                              "rosa", "stefan", "tina",  "uwe",   "vera",  "walter", "yvonne", "zoe",
                                              "alex", "bruno",  "chris", "dora",  "emil",  "fiona",  "georg",  "helen"};
const std::array<const char *, 32> lastNames{
    "meyer", "schulz", "becker", "wagner", "koch",   "richter", "klein",  "wolf",   "braun", "zimmer", "hart",
    "lange", "kraus",  "vogel",  "jung",   "keller", "berger",  "winter", "huber",  "roth",  "beck",   "lorenz",
    "baum",  "franke", "albers", "stein",  "busch",  "engel",   "horn",   "brandt", "graf",  "otto"};
const std::array<const char *, 24> domains{
    "example.com",  "example.org",     "example.net",   "mail.example.com", "post.example.de", "web.example.fr",
    "list.test",    "club.example",    "inbox.example", "corp.example.com", "uni.example.edu", "gov.example",
    "home.example", "isp.example.net", "net.example",   "box.example.org",  "team.example",    "firm.example",
    "shop.example", "city.example",    "media.example", "news.example",     "art.example",     "lab.example"};
const std::array<const char *, 20> stems{
    "Announce", "Board", "Customers", "Developers", "Events", "Friends", "Garden", "Hiking",   "Investors", "Jobs",
    "Kids",     "Local", "Members",   "News",       "Offers", "Press",   "Quiz",   "Research", "Sales",     "Training"};
const std::array<const char *, 10> variants{"",      "-EU",   "-US",      "-Asia", " 2022",
                                            " 2023", " 2024", " Archive", " Beta", " VIP"};
const std::array<const char *, 4> comments{"Subscribed by mail", "Imported", "Web form", "Requested at event"};

QString categoryByIndex(int index)
{
    return QString::fromLatin1(stems[size_t(index / 10)]) + QString::fromLatin1(variants[size_t(index % 10)]);
}

// Rank r (1..200) to a category index; 73 is coprime with 200.
int indexOfRank(int rank)
{
    return (rank * 73) % CategoryCount;
}

const std::vector<double> &zipfCumulative()
{
    static const std::vector<double> table = [] {
        std::vector<double> t(CategoryCount);
        double sum = 0;
        for (int r = 1; r <= CategoryCount; ++r)
            t[size_t(r - 1)] = (sum += 1.0 / r);
        for (double &v : t)
            v /= sum;
        return t;
    }();
    return table;
}

QString generatedCategory(qint64 i)
{
    const double u = double(mix(quint64(i) ^ 0x5EEDull) >> 11) * 0x1.0p-53;
    const auto &cum = zipfCumulative();
    const int rank = int(std::lower_bound(cum.begin(), cum.end(), u) - cum.begin()) + 1;
    return categoryByIndex(indexOfRank(std::min(rank, CategoryCount)));
}

QString generatedComment(qint64 i)
{
    const quint64 h = mix(quint64(i) ^ 0xC0FFEEull);
    return h % 10 < 7 ? QString() : QString::fromLatin1(comments[size_t((h >> 8) % comments.size())]);
}

QTemporaryDir &runDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/quillmar-bench-XXXXXX"));
    return dir;
}

QString selfExecutable()
{
    return QStringLiteral("/proc/self/exe");
}

void check(sqlite3 *db, int rc, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

// One raw transaction without indexes, then the file's own index statements:
// sorting once is far quicker than a million scattered index inserts.
void generateList(const QString &path, qint64 rows, bool clustered)
{
    createMailingListFile(path);
    RawDb db(path);
    db.exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=OFF; PRAGMA cache_size=-131072");
    QList<QByteArray> indexSql;
    QList<QByteArray> indexNames;
    {
        sqlite3_stmt *s = db.prepare("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL");
        while (db.step(s)) {
            indexNames << reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
            indexSql << reinterpret_cast<const char *>(sqlite3_column_text(s, 1));
        }
        sqlite3_reset(s);
    }
    db.exec("BEGIN");
    for (const QByteArray &name : std::as_const(indexNames))
        db.exec(QByteArray("DROP INDEX \"" + name + "\"").constData());
    sqlite3_stmt *insert
        = db.prepare("INSERT INTO mailist (rowid, Item, Category, Bounces, Comments) VALUES (?1, ?2, ?3, ?4, ?5)");
    const qint64 clusterStart = clustered ? rows - rows / 10 : rows;
    for (qint64 i = 0; i < rows; ++i) {
        sqlite3_bind_int64(insert, 1, i + 1);
        db.bind(insert, 2, address(i).toUtf8());
        db.bind(insert, 3, (i < clusterStart ? generatedCategory(i) : ClusteredCategory).toUtf8());
        sqlite3_bind_int(insert, 4, generatedBounces(i));
        db.bind(insert, 5, generatedComment(i).toUtf8());
        db.step(insert);
        sqlite3_reset(insert);
    }
    for (const QByteArray &sql : std::as_const(indexSql))
        db.exec(sql.constData());
    db.exec("COMMIT");
    db.exec("PRAGMA journal_mode=WAL");
}

int writerLoop(const QString &path, const QString &stopFile, const QString &progressFile)
{
    Store store(path);
    EntryRules &rules = store.rules;
    LineList &log = store.log;
    qint64 ops = 0;
    qint64 fails = 0;
    // Renamed into place, so a reader never sees half a line.
    const std::string progress = progressFile.toStdString();
    auto report = [&] {
        std::ofstream(progress + ".new", std::ios::trunc) << ops << ' ' << fails << '\n';
        std::rename((progress + ".new").c_str(), progress.c_str());
    };
    auto attempt = [&](auto &&operation, const QString &success) {
        try {
            operation();
            if (!log.last().endsWith(success))
                ++fails;
        } catch (const TableError &) {
            ++fails;
        }
        ++ops;
    };
    const QString entered = QStringLiteral("Entered Successfully");
    const QString incremented = QStringLiteral("Bounce count incremented!");
    const QString deleted = QStringLiteral("Entry successfully deleted!");
    const QString none;
    for (qint64 k = 0; !QFile::exists(stopFile); ++k) {
        const QString a = QStringLiteral("w%1.writer@second.example.net").arg(k);
        attempt([&] { rules.insertentry(true, a, none, none); }, entered);
        attempt([&] { rules.processbounce(a); }, incremented);
        attempt([&] { rules.insertentry(false, a, none, none); }, deleted);
        if (k % 64 == 0) {
            log.clear();
            store.errors.clear();
            report();
        }
    }
    report();
    return 0;
}

} // namespace

QString address(qint64 i)
{
    const quint64 h = mix(quint64(i));
    QString a = QString::fromLatin1(firstNames[h % firstNames.size()]) + QLatin1Char('.')
                + QString::fromLatin1(lastNames[(h >> 8) % lastNames.size()]) + QString::number(i) + QLatin1Char('@')
                + QString::fromLatin1(domains[(h >> 16) % domains.size()]);
    // Some people write their name capitalised; the table ignores it.
    if ((h >> 32) % 8 == 0)
        a[0] = a.at(0).toUpper();
    return a;
}

int generatedBounces(qint64 i)
{
    const quint64 h = mix(quint64(i) ^ 0xB0B0ull);
    return h % 10 == 0 ? int(1 + (h >> 8) % 3) : 0;
}

QString categoryOfRank(int rank)
{
    return categoryByIndex(indexOfRank(rank));
}

QString scratchPath(const QString &name)
{
    return QDir(runDir().path()).filePath(name);
}

QString listFile(qint64 rows, bool clustered)
{
    static QMap<std::pair<qint64, bool>, QString> made;
    const std::pair key(rows, clustered);
    if (made.contains(key))
        return made.value(key);
    const QString path = scratchPath(
        QStringLiteral("mailist-%1%2.DAT").arg(rows).arg(clustered ? QStringLiteral("-clustered") : QString()));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(selfExecutable(), {QStringLiteral("--bench-generate"), path, QString::number(rows),
                                   clustered ? QStringLiteral("clustered") : QStringLiteral("spread")});
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw std::runtime_error("generating the list failed");
    made.insert(key, path);
    return path;
}

QByteArray prefixLow(const QString &prefix)
{
    return lowerAZ(prefix).toUtf8();
}

QByteArray prefixHigh(const QString &prefix)
{
    QByteArray high = prefixLow(prefix);
    while (!high.isEmpty()) {
        auto last = static_cast<unsigned char>(high.back());
        if (last < 0xFF) {
            ++last;
            if (last >= 'A' && last <= 'Z')
                last = '[';
            high.back() = char(last);
            return high;
        }
        high.chop(1);
    }
    return high;
}

RawDb::RawDb(const QString &path)
{
    const QByteArray file = path.toUtf8();
    const int rc = sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    check(m_db, rc, "open");
    sqlite3_busy_timeout(m_db, MLTable::BusyTimeoutMs);
    exec("PRAGMA synchronous=NORMAL");
}

RawDb::~RawDb()
{
    for (sqlite3_stmt *s : std::as_const(m_statements))
        sqlite3_finalize(s);
    sqlite3_close_v2(m_db);
}

void RawDb::exec(const char *sql)
{
    char *err = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const std::string message = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        throw std::runtime_error(message);
    }
}

sqlite3_stmt *RawDb::prepare(const char *sql)
{
    const QByteArray key(sql);
    sqlite3_stmt *s = m_statements.value(key);
    if (!s) {
        check(m_db, sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr), sql);
        m_statements.insert(key, s);
    }
    sqlite3_reset(s);
    return s;
}

bool RawDb::step(sqlite3_stmt *s)
{
    const int rc = sqlite3_step(s);
    check(m_db, rc, "step");
    return rc == SQLITE_ROW;
}

qint64 RawDb::scalar(const char *sql)
{
    sqlite3_stmt *s = prepare(sql);
    const qint64 v = step(s) ? sqlite3_column_int64(s, 0) : 0;
    sqlite3_reset(s);
    return v;
}

void RawDb::bind(sqlite3_stmt *s, int i, const QByteArray &text)
{
    sqlite3_bind_text(s, i, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

qint64 rawFilteredView(RawDb &raw, const QString &prefix, std::initializer_list<int> limits)
{
    const QByteArray low = prefixLow(prefix);
    const QByteArray high = prefixHigh(prefix);
    auto count = [&](const char *sql) {
        sqlite3_stmt *s = raw.prepare(sql);
        raw.bind(s, 1, low);
        raw.bind(s, 2, high);
        raw.step(s);
        const qint64 n = sqlite3_column_int64(s, 0);
        sqlite3_reset(s);
        return n;
    };
    raw.scalar("PRAGMA data_version");
    const qint64 matched = count("SELECT count(*) FROM mailist WHERE Category >= ?1 AND Category < ?2");
    const bool dense = matched >= 4096 && matched * 16 >= raw.scalar("SELECT max(rowid) FROM mailist")
                       && count("SELECT count(*) FROM (SELECT Category FROM mailist ORDER BY rowid ASC LIMIT 1024) "
                                "WHERE Category >= ?1 AND Category < ?2")
                                  * 32
                              >= 1024
                       && count("SELECT count(*) FROM (SELECT Category FROM mailist ORDER BY rowid DESC LIMIT 1024) "
                                "WHERE Category >= ?1 AND Category < ?2")
                                  * 32
                              >= 1024;
    auto end = [&](const char *sql) {
        sqlite3_stmt *s = raw.prepare(sql);
        raw.bind(s, 1, low);
        raw.bind(s, 2, high);
        const QString category
            = raw.step(s) ? QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0))) : QString();
        sqlite3_reset(s);
        return category;
    };
    for (int limit : limits) {
        const QString first = end("SELECT Category FROM mailist WHERE Category >= ?1 AND Category < ?2 "
                                  "ORDER BY Category LIMIT 1");
        const QString last = end("SELECT Category FROM mailist WHERE Category >= ?1 AND Category < ?2 "
                                 "ORDER BY Category DESC LIMIT 1");
        const bool single = !first.isEmpty() && lowerAZ(first) == lowerAZ(last);
        sqlite3_stmt *rows = raw.prepare(single  ? "SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                                   "WHERE Category = ?4 ORDER BY rowid LIMIT ?3"
                                         : dense ? "SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                                   "WHERE +Category >= ?1 AND +Category < ?2 ORDER BY rowid LIMIT ?3"
                                                 : "SELECT rowid, Item, Category, Bounces, Comments FROM mailist "
                                                   "WHERE Category >= ?1 AND Category < ?2 ORDER BY rowid LIMIT ?3");
        if (single) {
            raw.bind(rows, 4, first.toUtf8());
        } else {
            raw.bind(rows, 1, low);
            raw.bind(rows, 2, high);
        }
        sqlite3_bind_int(rows, 3, limit);
        while (raw.step(rows))
            benchmark::DoNotOptimize(sqlite3_column_text(rows, 1));
    }
    return matched;
}

namespace {
double statusMiB(const char *field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(key.size())) / 1024.0;
    }
    return 0;
}
} // namespace

double residentMiB()
{
    return statusMiB("VmRSS");
}

double peakResidentMiB()
{
    return statusMiB("VmHWM");
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

PeakMeter::PeakMeter()
    : m_startMiB(residentMiB())
{
    resetPeakResident();
}

void PeakMeter::report(benchmark::State &state) const
{
    const double peak = peakResidentMiB();
    state.counters["peak_MB"] = peak;
    state.counters["grown_MB"] = peak - m_startMiB;
    state.counters["rss_MB"] = residentMiB();
}

Writer::Writer(const QString &listPath)
    : m_stopFile(listPath + QStringLiteral(".stop"))
    , m_progressFile(listPath + QStringLiteral(".progress"))
    , m_process(std::make_unique<QProcess>())
{
    QFile::remove(m_stopFile);
    QFile::remove(m_progressFile);
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->start(selfExecutable(), {QStringLiteral("--bench-writer"), listPath, m_stopFile, m_progressFile});
    if (!m_process->waitForStarted())
        throw std::runtime_error("the writer did not start");
    // Wait for its first round, so every measurement runs beside it.
    for (int i = 0; i < 500 && operations() == 0; ++i)
        m_process->waitForFinished(10);
}

Writer::~Writer()
{
    stop();
}

void Writer::readProgress(qint64 *ops, qint64 *fails) const
{
    std::ifstream in(m_progressFile.toStdString());
    long long o = 0;
    long long f = 0;
    in >> o >> f;
    *ops = o;
    *fails = f;
}

qint64 Writer::operations() const
{
    qint64 o = 0;
    qint64 f = 0;
    readProgress(&o, &f);
    return o;
}

qint64 Writer::failures() const
{
    qint64 o = 0;
    qint64 f = 0;
    readProgress(&o, &f);
    return f;
}

void Writer::stop()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    QFile stop(m_stopFile);
    stop.open(QIODevice::WriteOnly);
    stop.close();
    m_process->waitForFinished(-1);
}

namespace {
std::unique_ptr<Writer> &currentWriter()
{
    static std::unique_ptr<Writer> writer;
    return writer;
}
QString &currentWriterPath()
{
    static QString path;
    return path;
}
} // namespace

Writer &writerFor(const QString &listPath)
{
    if (!currentWriter() || currentWriterPath() != listPath) {
        stopWriters();
        currentWriter() = std::make_unique<Writer>(listPath);
        currentWriterPath() = listPath;
    }
    return *currentWriter();
}

void stopWriters()
{
    if (currentWriter()) {
        std::fprintf(stderr, "writer on %s: %lld operations, %lld failed\n", qPrintable(currentWriterPath()),
                     static_cast<long long>(currentWriter()->operations()),
                     static_cast<long long>(currentWriter()->failures()));
        currentWriter().reset();
    }
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    const auto at = values.begin() + std::ptrdiff_t(p * double(values.size() - 1) + 0.5);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

std::optional<int> helperMode(int argc, char **argv)
{
    if (argc < 2)
        return std::nullopt;
    const QByteArray mode(argv[1]);
    try {
        if (mode == "--bench-generate" && argc == 5) {
            generateList(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong(),
                         QByteArray(argv[4]) == "clustered");
            return 0;
        }
        if (mode == "--bench-writer" && argc == 5)
            return writerLoop(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                              QString::fromLocal8Bit(argv[4]));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    return std::nullopt;
}

int runBenchmarks(int argc, char **argv)
{
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stopWriters();
    return 0;
}

} // namespace bench
