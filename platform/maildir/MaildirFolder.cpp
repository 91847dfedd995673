#include "platform/maildir/MaildirFolder.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::maildir {

namespace {

// 0 or the errno of the failed mkdir.
int ensureDirectory(const QByteArray &path, bool *created = nullptr)
{
    if (::mkdir(path.constData(), 0700) == 0) {
        if (created)
            *created = true;
        return 0;
    }
    const int error = errno;
    if (error != EEXIST)
        return error;
    struct stat st;
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

} // namespace

int makeFolder(const QString &dir, FolderKind kind, QString *failedPath)
{
    const QByteArray folder = QFile::encodeName(dir);
    bool created = false;
    QByteArray failed = folder;
    int error = ensureDirectory(folder, &created);
    for (const char *sub : {"/tmp", "/new", "/cur"}) {
        if (error)
            break;
        failed = folder + sub;
        error = ensureDirectory(failed);
    }
    if (error) {
        if (failedPath)
            *failedPath = QFile::decodeName(failed);
        return error;
    }
    // Only on folders made here: one a client made is the client's to mark.
    if (created && kind == FolderKind::Subfolder) {
        const int marker = ::open((folder + "/maildirfolder").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (marker >= 0)
            ::close(marker);
    }
    return 0;
}

} // namespace platform::maildir
