// Prepares a user's machine for the program: the local mail store with its
// usual folders and the mail library stand-in's registration, each only
// where it is missing.
#include "platform/outlook/LocalOutlook.h"
#include "platform/outlook/Maildir.h"
#include "platform/mapi/MapiSetup.h"
#include "platform/maildir/MaildirFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <stdexcept>

int main(int argc, char **argv)
{
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
