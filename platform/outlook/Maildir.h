#pragma once
// A Maildir++ store as mail servers and clients keep it: the root holds the
// Inbox's messages, each top-level folder is a ".Name" directory beside them.
#include <QString>
#include <QStringList>

namespace platform::outlook {

class Maildir
{
public:
    explicit Maildir(QString root);

    QString root() const { return m_root; }
    bool exists() const;

    // Top-level folder names (decoded), sorted ignoring letter case.
    QStringList folderNames() const;
    // Directory of a top-level folder; "Inbox" is the root itself. Empty
    // when there is no such folder (names ignore letter case).
    QString folderPath(const QString &name) const;
    // Creates a top-level folder with its tmp/new/cur; throws std::runtime_error.
    QString createFolder(const QString &name) const;

    // Message files of a folder directory, in arrival order. Only regular
    // files are messages: links, devices, pipes and directories are not.
    static QStringList messageFiles(const QString &folderDir);
    static bool isMessageFile(const QString &path);
    // Seconds since the epoch as a message file's name gives its delivery.
    static qint64 arrivalTime(const QString &fileName);
    // The unique name of a message file: its name without the info part
    // (":2,FLAGS") that mail clients change as they mark it.
    static QString uniqueName(const QString &fileName);
    // The message file of a folder directory with this unique name, in new/
    // or cur/ and with any flags; empty when there is none.
    static QString findMessage(const QString &folderDir, const QString &uniqueName);
    // Moves a message file, unchanged, into the cur/ of another folder directory.
    static QString moveMessage(const QString &file, const QString &folderDir);

    // Folder names are kept as modified UTF-7 on disk, as IMAP servers do.
    static QString encodeName(const QString &name);
    static QString decodeName(const QString &encoded);

private:
    QString m_root;
};

} // namespace platform::outlook
