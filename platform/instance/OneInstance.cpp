#include "platform/instance/OneInstance.h"

#include "platform/instance/GuardChannel.h"
#include "platform/instance/InstanceObjects.h"

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

// The shared block, as Windows copies of the program lay it out.
constexpr int BlockSize = 3018;
constexpr int OwnerOffset = 0;
constexpr int CountOffset = 4;
constexpr int SlotsOffset = 8;
constexpr int SlotSize = 301;
constexpr int MaxParams = 10;
constexpr int MaxChars = 300;

constexpr quint32 GuardMessage = 0x0400 + 300; // the first user message number plus 300

// A creator writes its id moments after creating the block; one that died
// before doing so never will.
constexpr int OwnerGraceMs = 500;
constexpr int PollMs = 5;
// Waits are cut into slices so that an owner who dies meanwhile is noticed.
constexpr int SliceMs = 50;
// Each round ends in a lost race with another start; after this many the
// program just starts.
constexpr int MaxRounds = 8;

std::atomic<bool> g_exists{false};

enum class Wait { Taken, TimedOut, OwnerGone, Moved };

Wait waitForTurn(platform::NamedSemaphore &semaphore, const platform::SharedBlock &block, qint32 owner, int ms)
{
    const QDeadlineTimer deadline(ms);
    for (;;) {
        if (semaphore.wait(int(qMin<qint64>(SliceMs, deadline.remainingTime()))))
            return Wait::Taken;
        if (!block.isLinked() || block.loadInt32(OwnerOffset) != owner)
            return Wait::Moved;
        if (!platform::isProcessOfThisExecutable(owner))
            return Wait::OwnerGone;
        if (deadline.hasExpired())
            return Wait::TimedOut;
    }
}

// At most 300 characters and never more than the slot's 300 bytes, ending
// on a whole UTF-8 sequence.
QByteArray slotText(const QString &param)
{
    const QByteArray utf8 = param.toUtf8();
    int end = 0;
    for (int chars = 0; end < utf8.size() && chars < MaxChars; ++chars) {
        const auto lead = uchar(utf8.at(end));
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (end + length > MaxChars)
            break;
        end += length;
    }
    return utf8.left(end);
}

void writeParameters(platform::SharedBlock &block, const QStringList &params)
{
    const int count = int(qMin<qsizetype>(params.size(), MaxParams));
    for (int i = 0; i < count; ++i) {
        uchar *slot = block.data() + SlotsOffset + SlotSize * i;
        const QByteArray text = slotText(params.at(i));
        std::memset(slot, 0, SlotSize);
        std::memcpy(slot, text.constData(), size_t(text.size()));
    }
    block.storeInt32(CountOffset, count);
}

QStringList readParameters(const platform::SharedBlock &block)
{
    const int count = qBound(0, block.loadInt32(CountOffset), MaxParams);
    QStringList params;
    for (int i = 0; i < count; ++i) {
        const auto *slot = reinterpret_cast<const char *>(block.data() + SlotsOffset + SlotSize * i);
        params << QString::fromUtf8(slot, int(qstrnlen(slot, SlotSize - 1)));
    }
    return params;
}

} // namespace

struct TOneInstance::Guard
{
    platform::InstanceNames names;
    std::unique_ptr<platform::SharedBlock> block;
    std::unique_ptr<platform::NamedSemaphore> semaphore;
    platform::GuardListener listener;
    int waitMs = 10000;
    const qint32 self = platform::currentProcessId();
    bool ran = false;
    Outcome outcome = Outcome::FirstInstance;
    bool owner = false;
    bool holding = false; // a later start that has taken the semaphore
    qint32 handedTo = 0;
};

struct TOneInstance::Attempt
{
    Step step;
    qint32 owner;
};

TOneInstance::TOneInstance(QObject *parent)
    : QObject(parent)
{
    if (g_exists.exchange(true))
        throw std::logic_error("Drop only one of these components on your form !");
    d = std::make_unique<Guard>();
    connect(&d->listener, &platform::GuardListener::messageReceived, this, &TOneInstance::guardMessage);
}

TOneInstance::~TOneInstance()
{
    // Only while the block is still ours: a copy that took over from a
    // frozen one keeps its objects when the frozen one ends. The semaphore
    // goes first, so a start that slips in meanwhile takes over the block
    // with a fresh semaphore instead of finding none.
    if (d->owner && d->block && d->block->isLinked() && d->block->loadInt32(OwnerOffset) == d->self) {
        if (d->semaphore)
            d->semaphore->unlink();
        if (d->block->compareExchangeInt32(OwnerOffset, d->self, 0))
            d->block->unlink();
    }
    closeObjects();
    g_exists = false;
}

qint32 TOneInstance::runningCopy() const
{
    return d->handedTo;
}

std::optional<bool> TOneInstance::runningCopyOnThisDisplay() const
{
    if (d->handedTo == 0)
        return std::nullopt;
    return platform::sharesDisplay(d->handedTo);
}

void TOneInstance::setWaitMilliseconds(int ms)
{
    d->waitMs = ms;
}

TOneInstance::Outcome TOneInstance::Loaded(const QString &name, const QStringList &params)
{
    if (d->ran)
        return d->outcome;
    d->ran = true;
    d->names = platform::instanceNames(name);

    for (int round = 0; round < MaxRounds; ++round) {
        platform::SharedBlock::Opened how{};
        d->block = platform::SharedBlock::open(d->names.block, BlockSize, &how);
        if (!d->block)
            return Outcome::FirstInstance; // no block: the program runs unguarded
        if (how == platform::SharedBlock::Opened::Created) {
            if (becomeFirst(0, true))
                return Outcome::FirstInstance;
            closeObjects();
            continue;
        }
        const Attempt attempt = handOver(params);
        if (attempt.step == Step::HandedOver) {
            d->handedTo = attempt.owner;
            closeObjects();
            d->outcome = Outcome::HandedOver;
            if (UseHaltToExit)
                std::_Exit(0);
            return Outcome::HandedOver;
        }
        if (attempt.step == Step::BecomeFirst && becomeFirst(attempt.owner, false))
            return Outcome::FirstInstance;
        closeObjects();
    }
    return Outcome::FirstInstance;
}

TOneInstance::Attempt TOneInstance::handOver(const QStringList &params)
{
    platform::SharedBlock &block = *d->block;
    const QDeadlineTimer grace(OwnerGraceMs);
    qint32 owner = block.loadInt32(OwnerOffset);
    while (owner == 0 && !grace.hasExpired()) {
        if (!block.isLinked())
            return {Step::Restart, 0};
        QThread::msleep(PollMs);
        owner = block.loadInt32(OwnerOffset);
    }
    // A dead owner is replaced at once, whatever state it left the semaphore in.
    if (owner == 0 || owner == d->self || !platform::isProcessOfThisExecutable(owner))
        return {Step::BecomeFirst, owner};

    d->semaphore = platform::NamedSemaphore::open(d->names.semaphore);
    if (!d->semaphore)
        return {Step::BecomeFirst, owner};
    switch (waitForTurn(*d->semaphore, block, owner, d->waitMs)) {
    case Wait::Taken:
        break;
    case Wait::Moved:
        return {Step::Restart, 0};
    case Wait::TimedOut:
    case Wait::OwnerGone:
        return {Step::BecomeFirst, owner};
    }
    d->holding = true;

    writeParameters(block, params);
    if (!platform::postGuardMessage(d->names.block, owner, GuardMessage, 0, 0))
        return {Step::BecomeFirst, owner};

    // The owner releases the semaphore once it has read the parameters.
    switch (waitForTurn(*d->semaphore, block, owner, d->waitMs)) {
    case Wait::Taken:
        return {Step::HandedOver, owner};
    case Wait::Moved:
        return {Step::Restart, 0};
    case Wait::TimedOut:
    case Wait::OwnerGone:
        break;
    }
    return {Step::BecomeFirst, owner};
}

bool TOneInstance::becomeFirst(qint32 expectedOwner, bool created)
{
    if (!created && !d->block->isLinked())
        return false;
    // Without a listener later starts find nobody and take over; the program
    // still runs, so a failure here is not fatal.
    d->listener.listen(d->names.block, d->self);
    auto semaphore = platform::NamedSemaphore::openOrCreate(d->names.semaphore, 0);
    if (!semaphore) {
        if (created)
            d->block->unlink();
        closeObjects();
        throw std::runtime_error("Unable to create semaphore");
    }
    // Another start may have claimed the block first; we then hand over to it.
    if (!d->block->compareExchangeInt32(OwnerOffset, expectedOwner, d->self)) {
        d->listener.close();
        return false;
    }
    // Also restores a count left at 0 by a start that died holding it.
    semaphore->release();
    d->semaphore = std::move(semaphore);
    d->holding = false;
    d->owner = true;
    return true;
}

void TOneInstance::guardMessage(quint32 message, quint32 wParam, quint32 lParam)
{
    if (message != GuardMessage || wParam != 0 || lParam != 0)
        return;
    // After another copy took over, the sender has stopped waiting for us.
    if (!d->owner || d->block->loadInt32(OwnerOffset) != d->self)
        return;
    const QStringList params = readParameters(*d->block);

    struct Release
    {
        platform::NamedSemaphore *semaphore;
        ~Release() { semaphore->release(); }
    } release{d->semaphore.get()};

    if (ShowOnNewInstance)
        Q_EMIT showRequested();
    if (OnInstanceStarted)
        OnInstanceStarted(this, params);
    Q_EMIT instanceStarted(params);
}

void TOneInstance::closeObjects()
{
    if (d->holding && d->semaphore)
        d->semaphore->release();
    d->holding = false;
    d->owner = false;
    d->listener.close();
    d->semaphore.reset();
    d->block.reset();
}
