#pragma once
// Named objects that copies of one program share to find each other: a
// shared memory block and a semaphore, plus the process checks that tell a
// live owner from one that is gone.
#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

namespace platform {

// POSIX names are machine-wide while the Windows ones are per session, so
// the user id is part of the name: "quillmar" gives the block
// "/quillmar.1000" and the semaphore "/quillmar.1000Sem".
struct InstanceNames
{
    QString block;
    QString semaphore;
};
InstanceNames instanceNames(const QString &executableName);

class SharedBlock
{
public:
    enum class Opened { Created, Existed };

    // Opens the named block, creating it zero-filled when missing; null when
    // it can be neither opened nor mapped.
    static std::unique_ptr<SharedBlock> open(const QString &name, int size, Opened *how);
    static bool exists(const QString &name);

    ~SharedBlock(); // unmaps and closes; the name stays
    SharedBlock(const SharedBlock &) = delete;
    SharedBlock &operator=(const SharedBlock &) = delete;

    uchar *data() { return m_data; }
    const uchar *data() const { return m_data; }
    int size() const { return m_size; }

    // Atomic across processes; offset must be a multiple of 4.
    qint32 loadInt32(int offset) const;
    void storeInt32(int offset, qint32 value);
    bool compareExchangeInt32(int offset, qint32 expected, qint32 desired);

    // False once the name was removed or now refers to another block.
    bool isLinked() const;
    // Removes the name, but only while it still refers to this block.
    void unlink();

private:
    SharedBlock(QString name, int fd, uchar *data, int size);
    QString m_name;
    int m_fd;
    uchar *m_data;
    int m_size;
};

class NamedSemaphore
{
public:
    static std::unique_ptr<NamedSemaphore> open(const QString &name);
    static std::unique_ptr<NamedSemaphore> openOrCreate(const QString &name, unsigned initialCount);

    ~NamedSemaphore(); // closes; the name stays
    NamedSemaphore(const NamedSemaphore &) = delete;
    NamedSemaphore &operator=(const NamedSemaphore &) = delete;

    // True when the count was taken within ms milliseconds (0: do not wait).
    bool wait(int ms);
    // Keeps the count at most 1, as a Windows semaphore with maximum 1
    // does. Not atomic against a concurrent release; the guard tolerates that.
    void release();
    void unlink();

private:
    NamedSemaphore(QString name, void *handle);
    QString m_name;
    void *m_handle;
};

qint32 currentProcessId();
// True when pid is a live process (not a zombie) whose executable has the
// same file name as this process's. Where that name cannot be read for
// either process, a live pid is enough.
bool isProcessOfThisExecutable(qint32 pid);
// Whether pid shows its windows where this process would: the same display
// server and screen as started. Empty where that cannot be read.
std::optional<bool> sharesDisplay(qint32 pid);

} // namespace platform
