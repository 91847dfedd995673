#include "shell/TextFile.h"

#include <QByteArrayView>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <cstring>

namespace textfile {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F. The five bytes it
// leaves undefined map to the C1 control of the same value, as Windows does,
// so every byte survives a round trip.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

// Calls take(line) for each line; stops early when take returns false.
template<typename Take>
void forEachLine(QByteArrayView data, Take take)
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

} // namespace

bool readLines(const QString &path, QStringList *lines, QString *error)
{
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
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    bool valid = true;
    forEachLine(data, [&](QByteArrayView line) {
        result.append(utf8.decode(line));
        valid = !utf8.hasError();
        return valid;
    });
    if (!valid) {
        result.clear();
        forEachLine(data, [&](QByteArrayView line) {
            result.append(fromCp1252(line));
            return true;
        });
    }
    *lines = std::move(result);
    return true;
}

bool writeLines(const QString &path, const QStringList &lines, QString *error)
{
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
