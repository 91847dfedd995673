#include "store/exportlist.h"

#include "core/LockedFiles.h"

#include "core/Prompts.h"
#include "store/MLTable.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>
#include <string_view>

namespace {

// Lines are gathered into blocks of about this size before each write.
constexpr qsizetype BlockBytes = 64 * 1024;
constexpr qint64 ProgressEvery = 256;

// The sentence users know, then on a line of its own what actually went
// wrong, naming the file: disk space is seldom the reason.
QString saveFailedMessage(const QString &fileName, const QString &reason)
{
    return QStringLiteral("An error was encountered saving the file, ") + fileName
           + QStringLiteral(", check you have sufficient disk space and try again.\n") + reason;
}

QString lineFailedMessage(qint64 line)
{
    return QStringLiteral("An error was encountered with line ") + QString::number(line)
           + QStringLiteral(".  Do you want to continue?");
}

// QSaveFile refuses a file its user may not write, but not for root, who
// may write anything: a file nobody may write is left alone all the same.
bool writeProtected(const QString &fileName)
{
    const QFileInfo info(fileName);
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.exists() && !(info.permissions() & anyWrite);
}

QString saveFailureReason(const QString &fileName, const QSaveFile &file)
{
    const QFileInfo info(fileName);
    const QString name = QDir::toNativeSeparators(info.absoluteFilePath());
    const QString folder = QDir::toNativeSeparators(info.absolutePath());
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a file.").arg(name);
    if (!QFileInfo(info.absolutePath()).isDir())
        return QStringLiteral("%1: the folder %2 does not exist.").arg(name, folder);
    if (writeProtected(fileName))
        return QStringLiteral("%1 is read-only.").arg(name);
    if (!QFileInfo(info.absolutePath()).isWritable())
        return QStringLiteral("%1: the folder %2 is read-only for you.").arg(name, folder);
    return QStringLiteral("%1: %2").arg(name, file.errorString());
}

struct HideAtEnd
{
    ThrottledProgress &progress;
    ~HideAtEnd() { progress.hide(); }
};

} // namespace

bool exportlist(MLTable &table, Prompts &prompts, const ProgressFn &showprogress, const QString &fileName,
                bool withEmail, bool withCategory, bool withComments, const QString &delimiter,
                const StopQuery &stopped)
{
    ThrottledProgress progress(showprogress, stopped);
    HideAtEnd hide{progress};
    // Written beside the target and renamed over it on commit, so a failed
    // or abandoned export leaves an existing file as it was. The blocks are
    // large already; unbuffered, a failed write is seen where it happens.
    // Renaming over the open list would replace it under the program.
    if (lockedfiles::contains(fileName)) {
        prompts.warning(saveFailedMessage(fileName, lockedfiles::reason(fileName)));
        return false;
    }
    QSaveFile file(fileName);
    if (writeProtected(fileName) || !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        prompts.warning(saveFailedMessage(fileName, saveFailureReason(fileName, file)));
        return false;
    }
    const QByteArray separator = delimiter.toUtf8();
    QByteArray block;
    block.reserve(BlockBytes + 1024);
    auto writeBlock = [&] {
        qint64 done = file.write(block);
        // A write cut short (disk full) comes back without the system's
        // reason; the rest, tried once more, fails at once and gives it.
        if (done >= 0 && done < block.size()) {
            const qint64 rest = file.write(block.constData() + done, block.size() - done);
            done = rest < 0 ? rest : done + rest;
        }
        const bool written = done == block.size();
        block.resize(0); // keeps its capacity
        return written;
    };

    const std::string_view sep(separator.constData(), size_t(separator.size()));
    // A field holding the delimiter, a quote or a line end is quoted as
    // spreadsheets read it (RFC 4180); others are written as they are.
    auto field = [&](QByteArrayView value) {
        const std::string_view text(value.data(), size_t(value.size()));
        if (text.find_first_of("\"\r\n") != text.npos || (!sep.empty() && text.find(sep) != text.npos)) {
            block.append('"');
            for (char c : text) {
                if (c == '"')
                    block.append('"');
                block.append(c);
            }
            block.append('"');
        } else {
            block.append(value);
        }
        // A one-byte delimiter, the usual case, takes QByteArray's fast path.
        if (separator.size() == 1)
            block.append(separator.front());
        else
            block.append(separator.constData(), separator.size());
    };

    std::optional<MLTable::Scan> scan;
    qint64 total = 0;
    qint64 line = 0;
    for (;;) {
        // Counts every attempt, so a record that failed and is read again
        // comes under the next number.
        ++line;
        try {
            if (!scan) {
                scan.emplace(table);
                total = scan->total();
            }
            if (!scan->next())
                break;
            // The gate reads the clock; most lines need not even ask it.
            if ((line % ProgressEvery == 1 || line >= total) && !progress.update(int(line), int(total))) {
                progress.hide();
                prompts.information(QStringLiteral("Export cancelled: ") + doneOfTotal(line - 1, total)
                                    + QStringLiteral(" entries written.\n") + QDir::toNativeSeparators(fileName)
                                    + QStringLiteral(" was left as it was."));
                return false;
            }
            if (withEmail)
                field(scan->item());
            if (withCategory)
                field(scan->category());
            if (withComments)
                field(scan->comments());
            block.append("\r\n", 2);
        } catch (const TableError &) {
            if (prompts.confirm(lineFailedMessage(line)) != Prompts::Answer::Yes)
                return false;
            continue;
        }
        if (block.size() >= BlockBytes && !writeBlock()) {
            prompts.warning(saveFailedMessage(fileName, saveFailureReason(fileName, file)));
            return false;
        }
    }
    scan.reset();
    if (!writeBlock() || !file.commit()) {
        prompts.warning(saveFailedMessage(fileName, saveFailureReason(fileName, file)));
        return false;
    }
    return true;
}
