#include "platform/mapi/Maildir.h"
#include "platform/maildir/MaildirFolder.h"
#include "platform/mapi/MessageBuilder.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace mapistandin {

namespace {

std::atomic<unsigned> g_sequence{0};

QByteArray hostName()
{
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0 || !buf[0])
        return "localhost";
    QByteArray host(buf);
    // The Maildir rule for the characters that separate the name's parts.
    host.replace('/', "\\057");
    host.replace(':', "\\072");
    return host;
}

QByteArray uniqueName()
{
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    static const QByteArray host = hostName();
    return QByteArray::number(qint64(ts.tv_sec)) + ".M" + QByteArray::number(qint64(ts.tv_nsec / 1000)) + 'P'
           + QByteArray::number(qint64(::getpid())) + 'Q' + QByteArray::number(++g_sequence) + '.' + host;
}

} // namespace

ULONG deliverToFolder(const QString &storeRoot, const QString &folderName, const std::function<ULONG(int fd)> &write,
                      QString *deliveredPath)
{
    if (!QFileInfo(storeRoot).isDir())
        return MAPI_E_FAILURE;
    const QString folderPath = storeRoot + QLatin1Char('/') + folderName;
    if (const int error = platform::maildir::makeFolder(folderPath, platform::maildir::FolderKind::Subfolder))
        return codeForErrno(error);
    const QByteArray folder = QFile::encodeName(folderPath);

    const QByteArray name = uniqueName();
    const QByteArray tmpPath = folder + "/tmp/" + name;
    const QByteArray newPath = folder + "/new/" + name;
    const int fd = ::open(tmpPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return codeForErrno(errno);

    ULONG code = write(fd);
    if (code == SUCCESS_SUCCESS && ::fsync(fd) != 0)
        code = codeForErrno(errno);
    if (::close(fd) != 0 && code == SUCCESS_SUCCESS)
        code = codeForErrno(errno);
    if (code == SUCCESS_SUCCESS && ::rename(tmpPath.constData(), newPath.constData()) != 0)
        code = codeForErrno(errno);
    if (code != SUCCESS_SUCCESS) {
        ::unlink(tmpPath.constData());
        return code;
    }
    // The rename itself reaches the disk with the folder.
    const int dir = ::open((folder + "/new").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    if (deliveredPath)
        *deliveredPath = QFile::decodeName(newPath);
    return SUCCESS_SUCCESS;
}

} // namespace mapistandin
