#include "platform/instance/InstanceObjects.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <ctime>

#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

InstanceNames instanceNames(const QString &executableName)
{
    const QString block = QLatin1Char('/') + executableName + QLatin1Char('.') + QString::number(::getuid());
    return {block, block + QStringLiteral("Sem")};
}

// ---------------------------------------------------------------- SharedBlock

SharedBlock::SharedBlock(QString name, int fd, uchar *data, int size)
    : m_name(std::move(name))
    , m_fd(fd)
    , m_data(data)
    , m_size(size)
{
}

SharedBlock::~SharedBlock()
{
    ::munmap(m_data, size_t(m_size));
    ::close(m_fd);
}

std::unique_ptr<SharedBlock> SharedBlock::open(const QString &name, int size, Opened *how)
{
    const QByteArray path = QFile::encodeName(name);
    // A block removed between the two opens is simply tried again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool created = true;
        int fd = ::shm_open(path.constData(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno == EEXIST) {
            created = false;
            fd = ::shm_open(path.constData(), O_RDWR, 0600);
        }
        if (fd < 0) {
            if (errno == ENOENT)
                continue;
            return nullptr;
        }
        // A creator may not have sized the block yet; sizing twice is harmless
        // and mapping an unsized block would fault on first access.
        struct stat st
        {
        };
        if (::fstat(fd, &st) != 0 || (st.st_size < size && ::ftruncate(fd, size) != 0)) {
            ::close(fd);
            return nullptr;
        }
        void *mem = ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mem == MAP_FAILED) {
            if (created)
                ::shm_unlink(path.constData());
            ::close(fd);
            return nullptr;
        }
        *how = created ? Opened::Created : Opened::Existed;
        return std::unique_ptr<SharedBlock>(new SharedBlock(name, fd, static_cast<uchar *>(mem), size));
    }
    return nullptr;
}

bool SharedBlock::exists(const QString &name)
{
    const int fd = ::shm_open(QFile::encodeName(name).constData(), O_RDONLY, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

qint32 SharedBlock::loadInt32(int offset) const
{
    Q_ASSERT(offset % 4 == 0 && offset + 4 <= m_size);
    return std::atomic_ref<qint32>(*reinterpret_cast<qint32 *>(m_data + offset)).load();
}

void SharedBlock::storeInt32(int offset, qint32 value)
{
    Q_ASSERT(offset % 4 == 0 && offset + 4 <= m_size);
    std::atomic_ref<qint32>(*reinterpret_cast<qint32 *>(m_data + offset)).store(value);
}

bool SharedBlock::compareExchangeInt32(int offset, qint32 expected, qint32 desired)
{
    Q_ASSERT(offset % 4 == 0 && offset + 4 <= m_size);
    return std::atomic_ref<qint32>(*reinterpret_cast<qint32 *>(m_data + offset))
        .compare_exchange_strong(expected, desired);
}

bool SharedBlock::isLinked() const
{
    const int fd = ::shm_open(QFile::encodeName(m_name).constData(), O_RDONLY, 0);
    if (fd < 0)
        return false;
    struct stat named
    {
    }, mine{};
    const bool same = ::fstat(fd, &named) == 0 && ::fstat(m_fd, &mine) == 0 && named.st_dev == mine.st_dev
                      && named.st_ino == mine.st_ino;
    ::close(fd);
    return same;
}

void SharedBlock::unlink()
{
    if (isLinked())
        ::shm_unlink(QFile::encodeName(m_name).constData());
}

// ------------------------------------------------------------- NamedSemaphore

NamedSemaphore::NamedSemaphore(QString name, void *handle)
    : m_name(std::move(name))
    , m_handle(handle)
{
}

NamedSemaphore::~NamedSemaphore()
{
    ::sem_close(static_cast<sem_t *>(m_handle));
}

std::unique_ptr<NamedSemaphore> NamedSemaphore::open(const QString &name)
{
    sem_t *sem = ::sem_open(QFile::encodeName(name).constData(), 0);
    if (sem == SEM_FAILED)
        return nullptr;
    return std::unique_ptr<NamedSemaphore>(new NamedSemaphore(name, sem));
}

std::unique_ptr<NamedSemaphore> NamedSemaphore::openOrCreate(const QString &name, unsigned initialCount)
{
    sem_t *sem = ::sem_open(QFile::encodeName(name).constData(), O_CREAT, 0600, initialCount);
    if (sem == SEM_FAILED)
        return nullptr;
    return std::unique_ptr<NamedSemaphore>(new NamedSemaphore(name, sem));
}

bool NamedSemaphore::wait(int ms)
{
    auto *sem = static_cast<sem_t *>(m_handle);
    if (ms <= 0) {
        int rc;
        do
            rc = ::sem_trywait(sem);
        while (rc != 0 && errno == EINTR);
        return rc == 0;
    }
    timespec until{};
    ::clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += long(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    int rc;
    do
        rc = ::sem_timedwait(sem, &until);
    while (rc != 0 && errno == EINTR);
    return rc == 0;
}

void NamedSemaphore::release()
{
    auto *sem = static_cast<sem_t *>(m_handle);
    int value = 0;
    if (::sem_getvalue(sem, &value) == 0 && value >= 1)
        return;
    ::sem_post(sem);
}

void NamedSemaphore::unlink()
{
    ::sem_unlink(QFile::encodeName(m_name).constData());
}

// ------------------------------------------------------------------ processes

qint32 currentProcessId()
{
    return qint32(::getpid());
}

namespace {

// Empty when it cannot be read: no /proc, or a zombie whose image is gone.
QString executableFileName(const QByteArray &procPath)
{
    char buffer[4096];
    const ssize_t n = ::readlink(procPath.constData(), buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    QString path = QFile::decodeName(QByteArray(buffer, int(n)));
    // The running image of a rebuilt program is still the same program.
    const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted))
        path.chop(deleted.size());
    return QFileInfo(path).fileName();
}

} // namespace

bool isProcessOfThisExecutable(qint32 pid)
{
    if (pid <= 0)
        return false;
    // EPERM means another user's process, which never owns our objects.
    if (::kill(pid_t(pid), 0) != 0)
        return false;
    const QString own = executableFileName(QByteArrayLiteral("/proc/self/exe"));
    if (own.isEmpty())
        return true;
    return executableFileName("/proc/" + QByteArray::number(pid) + "/exe") == own;
}

std::optional<bool> sharesDisplay(qint32 pid)
{
    // The display a process was started on is in its environment; Qt
    // takes it from there too.
    QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> theirs = file.readAll().split('\0');
    if (theirs.isEmpty())
        return std::nullopt;
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const QByteArray prefix = QByteArray(name) + '=';
        QByteArray their;
        for (const QByteArray &entry : theirs) {
            if (entry.startsWith(prefix))
                their = entry.mid(prefix.size());
        }
        if (their != qgetenv(name))
            return false;
    }
    return true;
}

} // namespace platform
