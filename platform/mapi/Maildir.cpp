#include "platform/mapi/Maildir.h"
#include "platform/mapi/MessageBuilder.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mapistandin {

namespace {

std::atomic<unsigned> g_sequence{0};

bool isDirectory(const QByteArray &path)
{
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// 0 or the errno of the failed mkdir.
int ensureDirectory(const QByteArray &path, bool *created = nullptr)
{
    if (::mkdir(path.constData(), 0700) == 0) {
        if (created)
            *created = true;
        return 0;
    }
    const int error = errno;
    if (error == EEXIST)
        return isDirectory(path) ? 0 : ENOTDIR;
    return error;
}

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

ULONG deliverToFolder(const QString &storeRoot, const QString &folderName,
                      const std::function<ULONG(int fd)> &write, QString *deliveredPath)
{
    const QByteArray root = QFile::encodeName(storeRoot);
    if (!isDirectory(root))
        return MAPI_E_FAILURE;
    const QByteArray folder = root + '/' + QFile::encodeName(folderName);
    bool createdFolder = false;
    if (const int error = ensureDirectory(folder, &createdFolder))
        return codeForErrno(error);
    for (const char *sub : {"/tmp", "/new", "/cur"}) {
        if (const int error = ensureDirectory(folder + sub))
            return codeForErrno(error);
    }
    if (createdFolder) {
        // Marks a Maildir++ subfolder for the programs that look for it.
        const int marker = ::open((folder + "/maildirfolder").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (marker >= 0)
            ::close(marker);
    }

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
