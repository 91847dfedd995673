#include "core/TextFile.h"

#include "core/LockedFiles.h"
#include "platform/text/LegacyText.h"

#include <QByteArrayView>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <cstring>

namespace textfile {

namespace {

// Calls take(line) for each line; stops early when take returns false.
template<typename Take> void forEachLine(QByteArrayView data, Take take)
{
    const char *p = data.data();
    const char *const end = p + data.size();
    // Remembered so that a file with CR-only line ends is not rescanned
    // to its end for every line.
    const char *lf = nullptr;
    while (p < end) {
        if (!lf || lf < p) {
            lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            if (!lf)
                lf = end;
        }
        const char *cr = static_cast<const char *>(std::memchr(p, '\r', size_t(lf - p)));
        const char *brk = cr ? cr : lf;
        if (!take(QByteArrayView(p, brk - p)) || brk == end)
            return;
        p = brk + 1;
        if (*brk == '\r' && p < end && *p == '\n')
            ++p;
    }
}

bool refuseLocked(const QString &path, QString *error)
{
    if (!lockedfiles::contains(path))
        return false;
    if (error)
        *error = lockedfiles::reason(path);
    return true;
}

} // namespace

bool readLines(const QString &path, QStringList *lines, QString *error)
{
    if (refuseLocked(path, error))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray all = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    file.close();

    QByteArrayView data(all);
    if (data.startsWith("\xEF\xBB\xBF"))
        data = data.sliced(3);

    QStringList result;
    // Lines never split a UTF-8 sequence, so one decoder can check them all
    // and the first bad byte sends the whole file to the fallback.
    // ConvertInitialBom keeps a stateless decoder from eating a BOM-like
    // sequence at the start of every line.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    bool valid = true;
    forEachLine(data, [&](QByteArrayView line) {
        result.append(utf8.decode(line));
        valid = !utf8.hasError();
        return valid;
    });
    if (!valid) {
        result.clear();
        forEachLine(data, [&](QByteArrayView line) {
            result.append(platform::fromWindows1252(line));
            return true;
        });
    }
    *lines = std::move(result);
    return true;
}

bool writeLines(const QString &path, const QStringList &lines, QString *error)
{
    if (refuseLocked(path, error))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    constexpr qsizetype chunk = 1 << 20;
    QByteArray buffer;
    buffer.reserve(chunk + 4096);
    bool ok = true;
    for (const QString &line : lines) {
        buffer.append(line.toUtf8());
        buffer.append("\r\n", 2);
        if (buffer.size() >= chunk) {
            ok = file.write(buffer) == buffer.size();
            buffer.clear();
            if (!ok)
                break;
        }
    }
    if (ok && !buffer.isEmpty())
        ok = file.write(buffer) == buffer.size();
    if (!ok || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace textfile
