#include "core/WorkingFiles.h"

#include "core/LineList.h"
#include "core/Prompts.h"
#include "core/TextFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace {

const QByteArray Magic = "QUILLMAR-JOURNAL 1 ";

// What a file held when a journal began: a hash of its bytes, "none" when
// there was no file, "unknown" when it could not be read.
QByteArray stateOf(const QString &path)
{
    if (!QFileInfo::exists(path))
        return "none";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "unknown";
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return "unknown";
    return hash.result().toHex();
}

// One line of text per record: backslash, CR and LF escaped.
QByteArray escaped(const QString &line)
{
    const QByteArray utf8 = line.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    for (char c : utf8) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QString unescaped(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char n = text.at(++i);
        out += n == 'r' ? '\r' : n == 'n' ? '\n' : n;
    }
    return QString::fromUtf8(out);
}

struct Replay
{
    QByteArray base;
    QStringList lines;
};

// The lines a journal holds, in the order they were made final. A group
// still in doubt at the end (the run died while committing its change)
// stands if `stored` says its change was stored or cannot tell.
Replay readJournal(const QByteArray &data, const LineList &list)
{
    Replay r;
    QHash<QByteArray, QStringList> open;
    QList<QByteArray> order;
    qsizetype at = 0;
    bool first = true;
    while (at < data.size()) {
        const qsizetype end = data.indexOf('\n', at);
        if (end < 0)
            break; // torn by the end of the run: never a whole record
        const QByteArrayView rec(data.constData() + at, end - at);
        at = end + 1;
        if (first) {
            first = false;
            if (rec.startsWith(Magic)) {
                r.base = rec.sliced(Magic.size()).toByteArray();
                continue;
            }
        }
        if (rec.isEmpty())
            continue;
        const char kind = rec.front();
        const QByteArrayView rest = rec.sliced(1);
        if (kind == '+') {
            r.lines << unescaped(rest);
        } else if (kind == '?') {
            const qsizetype blank = rest.indexOf(' ');
            const QByteArray tag = (blank < 0 ? rest : rest.first(blank)).toByteArray();
            if (!open.contains(tag))
                order << tag;
            open[tag] << (blank < 0 ? QString() : unescaped(rest.sliced(blank + 1)));
        } else if (kind == '!' || kind == '-') {
            const QByteArray tag = rest.toByteArray();
            const QStringList group = open.take(tag);
            order.removeAll(tag);
            if (kind == '!')
                r.lines << group;
        }
    }
    for (const QByteArray &tag : std::as_const(order)) {
        if (list.groupStored(tag).value_or(true))
            r.lines << open.value(tag);
    }
    return r;
}

} // namespace

// Appends records to the journal file, one write each, creating the file
// with its header at the first record.
class WorkingFiles::Journal : public LineList::Sink
{
public:
    Journal(QString path, QByteArray base)
        : m_path(std::move(path))
        , m_base(std::move(base))
    {
    }

    QString path() const { return m_path; }
    // After the file was written: the next record starts a new journal.
    void restart(QByteArray base)
    {
        m_file.close();
        QFile::remove(m_path);
        m_base = std::move(base);
    }
    // Keeps writing to a journal left by an earlier run.
    void adopt() { open(false); }
    void close() { m_file.close(); }

    void added(const QStringList &lines) override
    {
        QByteArray rec;
        for (const QString &line : lines)
            rec += '+' + escaped(line) + '\n';
        write(rec);
    }
    void inDoubt(const QByteArray &tag, const QStringList &lines) override
    {
        QByteArray rec;
        for (const QString &line : lines)
            rec += '?' + tag + ' ' + escaped(line) + '\n';
        write(rec);
    }
    void settled(const QByteArray &tag, bool stored) override { write((stored ? '!' : '-') + tag + '\n'); }

private:
    bool open(bool fresh)
    {
        m_file.setFileName(m_path);
        const QIODevice::OpenMode mode
            = QIODevice::WriteOnly | QIODevice::Unbuffered | (fresh ? QIODevice::Truncate : QIODevice::Append);
        if (!m_file.open(mode))
            return false;
        if (fresh && m_file.write(Magic + m_base + '\n') < 0) {
            m_file.close();
            return false;
        }
        return true;
    }

    void write(const QByteArray &records)
    {
        // A journal that cannot be written only loses its safety net; the
        // lines still reach the file at the close.
        if (!m_file.isOpen() && !open(!QFileInfo::exists(m_path)))
            return;
        m_file.write(records);
    }

    QString m_path;
    QByteArray m_base;
    QFile m_file;
};

WorkingFiles::WorkingFiles(QString programDir, Prompts &prompts)
    : m_programDir(std::move(programDir))
    , m_prompts(prompts)
{
    m_log.fileName = logFileName();
    m_errors.fileName = errorsFileName();
}

WorkingFiles::~WorkingFiles()
{
    for (Kept *k : {&m_log, &m_errors}) {
        if (k->lines && k->lines->sink() == k->journal.get())
            k->lines->setSink(nullptr);
        if (k->journal)
            k->journal->close();
    }
}

void WorkingFiles::load(LineList &log, LineList &errors)
{
    m_errors.lines = &errors;
    m_log.lines = &log;
    loadOne(m_errors);
    loadOne(m_log);
}

bool WorkingFiles::save(const LineList &log, const LineList &errors)
{
    return saveOne(m_log, log) && saveOne(m_errors, errors);
}

void WorkingFiles::loadOne(Kept &kept)
{
    LineList &lines = *kept.lines;
    const QString path = QDir(m_programDir).filePath(kept.fileName);
    if (QFileInfo::exists(path)) {
        QStringList read;
        QString why;
        if (textfile::readLines(path, &read, &why)) {
            lines.setLines(read);
        } else {
            kept.unreadable = true;
            m_prompts.warning(QStringLiteral("%1 could not be read (%2). It will not be replaced when the "
                                             "program closes.")
                                  .arg(path, why));
        }
    }

    QByteArray base = stateOf(path);
    const QString journalPath = path + journalSuffix();
    kept.journal = std::make_unique<Journal>(journalPath, base);
    QFile file(journalPath);
    if (file.exists() && !file.open(QIODevice::ReadOnly)) {
        // Left alone, so that a later start may still recover it.
        m_prompts.warning(QStringLiteral("%1 could not be read (%2). Its lines are not in the list.")
                              .arg(journalPath, file.errorString()));
        kept.journal->adopt();
    } else if (file.isOpen()) {
        const QByteArray data = file.readAll();
        file.close();
        const Replay replay = readJournal(data, lines);
        // A file written since the journal began holds its lines already.
        const bool current
            = replay.base == base || replay.base == "unknown" || base == "unknown" || replay.base.isEmpty();
        if (current) {
            for (const QString &line : replay.lines)
                lines.append(line);
        }
        const bool persisted
            = !current || replay.lines.isEmpty() || (!kept.unreadable && textfile::writeLines(path, lines.lines()));
        if (persisted)
            kept.journal->restart(stateOf(path));
        else
            kept.journal->adopt(); // the file stays as it was: its journal goes on
    }
    lines.setSink(kept.journal.get());
}

bool WorkingFiles::saveOne(Kept &kept, const LineList &lines)
{
    const QString name = kept.unreadable ? kept.fileName + QStringLiteral(".new") : kept.fileName;
    const QString path = QDir(m_programDir).filePath(name);
    QString why;
    if (textfile::writeLines(path, lines.lines(), &why)) {
        if (kept.journal)
            kept.journal->restart(stateOf(QDir(m_programDir).filePath(kept.fileName)));
        return true;
    }
    const QString journal = kept.journal && QFileInfo::exists(kept.journal->path()) ? kept.journal->path() : QString();
    const QString question
        = journal.isEmpty()
              ? QStringLiteral("%1 could not be written (%2). Close anyway and lose the changes to it?").arg(path, why)
              : QStringLiteral(
                    "%1 could not be written (%2). Close anyway? Its new lines stay in %3 and are added to it "
                    "at the next start.")
                    .arg(path, why, journal);
    return m_prompts.confirm(question) == Prompts::Answer::Yes;
}
