// Prepares a user's machine for the program: the local mail store with its
// usual folders and the mail library stand-in's registration, each only
// where it is missing.
#include "platform/maildir/MaildirFolder.h"
#include "platform/mapi/MapiSetup.h"
#include "platform/outlook/LocalOutlook.h"
#include "platform/outlook/Maildir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

const char Usage[] = "Usage: quillmar-setup\n"
                     "Creates the local mail store ~/Maildir with its usual folders and registers the\n"
                     "mail library stand-in, each only where it is missing.\n";

} // namespace

int main(int argc, char **argv)
{
    // Asking how to use it must not set anything up.
    if (argc > 1) {
        const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
        if (!help)
            std::fprintf(stderr, "quillmar-setup: unknown option %s\n", argv[1]);
        std::fputs(Usage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    QCoreApplication app(argc, argv);
    using platform::outlook::Maildir;
    const QString root = platform::outlook::defaultStoreRoot();
    int failures = 0;
    // The store may be the first thing in a new home directory.
    QDir().mkpath(QFileInfo(root).absolutePath());
    QString failed;
    if (platform::maildir::makeFolder(root, platform::maildir::FolderKind::Inbox, &failed) != 0) {
        std::fprintf(stderr, "quillmar-setup: cannot create %s\n", qPrintable(failed));
        return 1;
    }
    const Maildir store(root);
    for (const char *name : {"Outbox", "Drafts", "Sent Items", "Deleted Items", "Contacts", "VMailingList"}) {
        try {
            store.createFolder(QString::fromLatin1(name));
        } catch (const std::runtime_error &e) {
            std::fprintf(stderr, "quillmar-setup: %s\n", e.what());
            ++failures;
        }
    }
    QString error;
    if (!registerMapiStandIn(root, &error)) {
        std::fprintf(stderr, "quillmar-setup: %s\n", qPrintable(error));
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
