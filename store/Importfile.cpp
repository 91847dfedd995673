#include "store/Importfile.h"

#include "core/LockedFiles.h"

#include "core/DateTimeText.h"
#include "core/LineList.h"
#include "core/Prompts.h"
#include "platform/text/LegacyText.h"
#include "store/EntryBatch.h"
#include "store/EntryRules.h"
#include "store/MLTable.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace {

constexpr qsizetype SniffBytes = 64 * 1024;
// Progress text shows the start of a line only: a label is no place for 4 KB.
constexpr qsizetype ShownLine = 120;

// Spreadsheet and editor files carry tabs and form feeds; a file where one
// byte in ten of its start is another control byte is not text.
bool looksBinary(QByteArrayView head)
{
    qsizetype controls = 0;
    for (const char c : head) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 && b != '\t' && b != '\r' && b != '\n' && b != '\f')
            ++controls;
    }
    return controls * 10 > head.size();
}

// The next CR or LF at or after a place, moving forward only. Each
// character's next place is searched again only once it is passed: a file
// with only one kind of line end is crossed once, not once a line.
class LineEnds
{
public:
    explicit LineEnds(QByteArrayView text)
        : m_text(text)
    {
    }
    // -1 when the text ends first.
    qsizetype next(qsizetype from)
    {
        if (m_cr < from)
            m_cr = find('\r', from);
        if (m_lf < from)
            m_lf = find('\n', from);
        const qsizetype first = std::min(m_cr, m_lf);
        return first == m_text.size() ? -1 : first;
    }

private:
    qsizetype find(char c, qsizetype from) const
    {
        const qsizetype at = m_text.indexOf(c, from);
        return at < 0 ? m_text.size() : at;
    }

    QByteArrayView m_text;
    qsizetype m_cr = -1;
    qsizetype m_lf = -1;
};

// Up to `limit` bytes, to the end of the file: the buffer is the file's own
// size, and grows only for a file that grew since.
bool readAtMost(QFile &file, qint64 limit, QByteArray *bytes)
{
    bytes->reserve(qsizetype(qBound<qint64>(0, file.size() + 1, limit)));
    while (bytes->size() < limit) {
        const qsizetype had = bytes->size();
        qint64 room = bytes->capacity() - had;
        if (room <= 0)
            room = 64 * 1024;
        bytes->resize(had + qsizetype(qMin(room, limit - had)));
        const qint64 got = file.read(bytes->data() + had, bytes->size() - had);
        bytes->resize(had + qsizetype(qMax<qint64>(got, 0)));
        if (got < 0)
            return false;
        if (got == 0)
            break;
    }
    return true;
}

bool isBlank(QChar c)
{
    return c.unicode() <= 0x20;
}

// Blanks and control characters off both ends, as the address is trimmed.
QString trimmedLine(const QString &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line.at(begin)))
        ++begin;
    while (end > begin && isBlank(line.at(end - 1)))
        --end;
    return begin == 0 && end == line.size() ? line : line.mid(begin, end - begin);
}

// Spreadsheets quote their fields; the quotes are no part of an address
// or a category.
QString unquoted(const QString &piece)
{
    if (piece.size() < 2 || !piece.startsWith(QLatin1Char('"')) || !piece.endsWith(QLatin1Char('"')))
        return piece;
    return trimmedLine(piece.mid(1, piece.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\"")));
}

// A line with quoted fields, as the export writes those holding the
// delimiter, is cut only at delimiters outside quotes; the pieces keep their
// quotes for unquoted(). False (nothing cut) when its quotes do not pair up.
bool splitQuoted(QStringList &pieces, const QString &line, const QString &delimiter)
{
    pieces.clear();
    bool inQuotes = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == QLatin1Char('"'))
            inQuotes = !inQuotes;
        else if (!inQuotes && QStringView(line).sliced(i).startsWith(delimiter)) {
            pieces << trimmedLine(line.mid(start, i - start));
            start = i + delimiter.size();
            i = start - 1;
        }
    }
    if (inQuotes)
        return false;
    pieces << trimmedLine(line.mid(start));
    pieces.removeAll(QString());
    return true;
}

// The comment's time changes once a second; formatting it per line would
// cost a large import more than its reading does.
class CommentClock
{
public:
    CommentClock(std::function<QString()> now, QString prefix)
        : m_now(std::move(now))
        , m_prefix(std::move(prefix))
    {
    }
    // The prefix and the time.
    const QString &comment()
    {
        const qint64 second = QDateTime::currentSecsSinceEpoch();
        if (second != m_second || m_text.isNull()) {
            m_second = second;
            m_text = m_prefix + QLatin1Char(' ') + (m_now ? m_now() : getdatetimestring());
        }
        return m_text;
    }

private:
    std::function<QString()> m_now;
    QString m_prefix;
    qint64 m_second = -1;
    QString m_text;
};

struct HideAtEnd
{
    ThrottledProgress &progress;
    ~HideAtEnd() { progress.hide(); }
};

} // namespace

ImportLines::ImportLines(QStringList lines)
    : m_list(std::move(lines))
{
}

std::optional<ImportLines> ImportLines::fromFile(const QString &path, QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const QFileInfo info(path);
    if (info.isDir())
        return fail(QStringLiteral("it is a folder, not a file"));
    // Reading it would close a descriptor of it and drop the program's locks.
    if (lockedfiles::contains(path))
        return fail(QStringLiteral("it is the mailing-list file the program has open, or one of its working files"));
    if (info.exists() && info.size() > LargestFile)
        return fail(QStringLiteral("it is too large to import (%1 MB; at most %2 MB)")
                        .arg(info.size() >> 20)
                        .arg(LargestFile >> 20));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    ImportLines out;
    if (!readAtMost(file, LargestFile + 1, &out.m_bytes))
        return fail(file.errorString());
    if (out.m_bytes.size() > LargestFile)
        return fail(QStringLiteral("it is too large to import (more than %1 MB)").arg(LargestFile >> 20));
    if (looksBinary(QByteArrayView(out.m_bytes).first(qMin(SniffBytes, out.m_bytes.size()))))
        return fail(QStringLiteral("it is not a text file"));

    const QByteArrayView data(out.m_bytes);
    const qsizetype size = data.size();
    qsizetype at = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    platform::Utf8Check utf8;
    utf8.feed(data.sliced(at));
    out.m_utf8 = utf8.isValid();
    LineEnds ends(data);
    while (at < size) {
        out.m_starts.push_back(at);
        const qsizetype end = ends.next(at);
        if (end < 0)
            break;
        at = end + 1;
        if (data.at(end) == '\r' && at < size && data.at(at) == '\n')
            ++at;
    }
    out.m_bytes.squeeze();
    return out;
}

qsizetype ImportLines::size() const
{
    return m_bytes.isNull() ? m_list.size() : qsizetype(m_starts.size());
}

QString ImportLines::at(qsizetype i) const
{
    if (m_bytes.isNull())
        return m_list.at(i);
    const qsizetype start = m_starts.at(size_t(i));
    qsizetype end = i + 1 < size() ? m_starts.at(size_t(i) + 1) : m_bytes.size();
    while (end > start && (m_bytes.at(end - 1) == '\n' || m_bytes.at(end - 1) == '\r'))
        --end;
    const QByteArrayView line = QByteArrayView(m_bytes).sliced(start, end - start);
    return m_utf8 ? QString::fromUtf8(line) : platform::fromWindows1252(line);
}

namespace {

QString countsText(const ImportResult &r, bool add, bool bounce)
{
    const QString done = add      ? QStringLiteral("added")
                         : bounce ? QStringLiteral("counted as undeliverable")
                                  : QStringLiteral("removed");
    const QString kept = add ? QStringLiteral("already there") : QStringLiteral("not found");
    return QStringLiteral("%1 %2, %3 %4, %5 refused.")
        .arg(QString::number(r.changed), done, QString::number(r.unchanged), kept, QString::number(r.refused));
}

} // namespace

ImportResult Importfile(const ImportServices &services, const ImportLines &lines, bool add, bool /*remove*/,
                        bool bounce, const QString &category, bool withCategory, const QString &delimiter,
                        const QString &commentPrefix)
{
    ThrottledProgress progress(services.progress, services.stopped);
    HideAtEnd hide{progress};
    ImportResult result;
    const int total = int(qMin<qsizetype>(lines.size(), INT_MAX)) - 1;
    int i = 0;
    // The lines from the one not begun on are the user's still.
    auto leaveRest = [&] {
        for (; i <= total; ++i)
            if (!trimmedLine(lines.at(i)).isEmpty())
                result.left.append(i);
    };
    EntryBatch batch(services.rules, services.batchLines > 0 ? services.batchLines : EntryBatch::Calls);
    // Where the open batch began and what the result was then: a batch
    // that is not stored is taken back whole.
    int batchFirst = 0;
    int counts[3] = {};
    qsizetype leftBeforeBatch = 0;
    auto takeBackBatch = [&] {
        result.changed = counts[0];
        result.unchanged = counts[1];
        result.refused = counts[2];
        result.left.resize(leftBeforeBatch);
        i = batchFirst;
    };
    // Stores the lines before `end`; on failure the run stops with the
    // batch's lines and all after them the user's again.
    auto storeBatch = [&](int end) {
        if (!batch.isOpen())
            return true;
        try {
            batch.commit();
            return true;
        } catch (const TableError &e) {
            takeBackBatch();
            leaveRest();
            result.stopped = true;
            progress.hide();
            services.prompts.error(
                QStringLiteral("Lines %1 to %2 could not be stored in the mailing list file %3: %4\nNothing of "
                               "these lines was kept, in the list or in the log. %5 stopped; the lines from line %1 "
                               "on were not processed. Running it again on them stores them; those already on the "
                               "list are only reported.")
                    .arg(QString::number(batchFirst + 1), QString::number(end), services.rules.table().filePath(),
                         e.message(), services.job));
            return false;
        }
    };
    try {
        const QString splitAt = delimiter.isEmpty() ? QStringLiteral(",") : delimiter;
        const QString chosenCategory = trimmedLine(category);
        CommentClock clock(services.now, commentPrefix);
        QStringList pieces;
        bool askedNotStored = false;
        for (; i <= total; ++i) {
            const QString line = lines.at(i);
            if (trimmedLine(line).isEmpty())
                continue;
            // The text is built only when it will be shown.
            const bool shown = progress.due() || i >= total;
            // Showing progress lets the window's events run, and with them
            // whatever else works on the list (a folder check on a timer):
            // none may find a batch open.
            if (shown && !storeBatch(i))
                return result;
            if (!progress.update(i, total, shown ? QStringLiteral("Processing: ") + line.left(ShownLine) : QString())) {
                if (!storeBatch(i))
                    return result;
                result.stopped = true;
                progress.hide();
                const int stoppedAt = i;
                leaveRest();
                services.prompts.information(services.job + QStringLiteral(" cancelled: ")
                                             + doneOfTotal(stoppedAt, total + 1) + QStringLiteral(" lines processed.\n")
                                             + countsText(result, add, bounce));
                return result;
            }
            QString question;
            QString address;
            QString lineCategory = chosenCategory;
            try {
                if (line.size() > LongestImportLine)
                    throw std::length_error("line too long");
                if (withCategory) {
                    if (!line.contains(QLatin1Char('"')) || !splitQuoted(pieces, line, splitAt))
                        services.split(pieces, line, splitAt);
                    if (pieces.isEmpty())
                        continue;
                    address = unquoted(pieces.at(0));
                    if (pieces.size() > 1)
                        lineCategory = unquoted(pieces.at(1));
                } else {
                    address = trimmedLine(line);
                }
                if (!batch.isOpen()) {
                    batchFirst = i;
                    counts[0] = result.changed;
                    counts[1] = result.unchanged;
                    counts[2] = result.refused;
                    leftBeforeBatch = result.left.size();
                    batch.begin();
                }
                const EntryOutcome outcome
                    = bounce ? services.rules.processbounce(address)
                             : services.rules.insertentry(add, address, lineCategory, clock.comment());
                switch (outcome) {
                case EntryOutcome::Changed:
                    ++result.changed;
                    break;
                case EntryOutcome::Unchanged:
                    ++result.unchanged;
                    break;
                case EntryOutcome::Refused:
                    ++result.refused;
                    break;
                case EntryOutcome::NotStored:
                    // On the error list and in the log already; a list file
                    // that takes nothing would ask once a line.
                    ++result.refused;
                    result.left.append(i);
                    if (!askedNotStored) {
                        askedNotStored = true;
                        question = QStringLiteral("Line %1 could not be stored in the mailing list: %2\nDo you want "
                                                  "to continue?")
                                       .arg(QString::number(i), services.rules.lastStorageFailure().message());
                    }
                    break;
                }
            } catch (const std::exception &) {
                ++result.refused;
                result.left.append(i);
                // A look-up that failed stored nothing: the request waits on
                // the error list as a refused one does.
                if (!address.isEmpty() && !bounce)
                    services.rules.errors().append(((add ? QStringLiteral("ADD ") : QStringLiteral("REMOVE ")) + address
                                                    + QLatin1Char(' ') + lineCategory)
                                                       .trimmed());
                question = QStringLiteral("An error was encountered with line ") + QString::number(i)
                           + QStringLiteral(".  Do you want to continue?");
            }
            // The file stays locked while a batch is open: no question waits
            // on the user with it held.
            const bool full = batch.full();
            if ((full || !question.isEmpty() || !batch.intact()) && !storeBatch(i + 1))
                return result;
            if (!question.isEmpty() && services.prompts.confirm(question) != Prompts::Answer::Yes) {
                result.stopped = true;
                ++i;
                leaveRest();
                break;
            }
        }
        if (!storeBatch(i))
            return result;
        batch.close();
        progress.hide();
        services.prompts.information(QString::number(result.processed())
                                     + QStringLiteral(" entries have been processed!\n")
                                     + countsText(result, add, bounce));
        return result;
    } catch (const std::exception &) {
        progress.hide();
        if (batch.isOpen()) {
            batch.abandon();
            takeBackBatch();
        }
        leaveRest();
        result.failed = true;
        services.prompts.error(QStringLiteral("error"));
        return result;
    }
}
