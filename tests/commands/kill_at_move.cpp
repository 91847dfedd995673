// Preloaded into the sender for the kill test: SIGKILL just before the
// QUILLMAR_KILL_AT_MOVE-th message is moved into "Sent Items", that is after
// its acceptance was recorded and before it was filed.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int renameat2(int olddirfd, const char *oldpath, int newdirfd, const char *newpath, unsigned int flags)
{
    static int moves = 0;
    const char *at = getenv("QUILLMAR_KILL_AT_MOVE");
    if (at && strstr(newpath, "/.Sent Items/") && ++moves == atoi(at))
        kill(getpid(), SIGKILL);
    using Rename = int (*)(int, const char *, int, const char *, unsigned int);
    static const auto next = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat2"));
    return next(olddirfd, oldpath, newdirfd, newpath, flags);
}
