#pragma once
// Writes Maildir++ stores and RFC 5322 messages the way a delivery agent
// does, independently of the program's own Maildir code, and takes
// byte-exact snapshots of a store. No QTest here: the benchmarks use it too.
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>
#include <QStringList>

#include <algorithm>

namespace testmail {

inline const QByteArray DefaultDate = "Tue, 12 Mar 2024 09:15:00 +0100";

// A plain UTF-8 message with CR LF line ends. Extra header lines end in CR LF;
// an empty date or from leaves that header out.
inline QByteArray message(const QByteArray &from, const QByteArray &subject, const QByteArray &body,
                          const QByteArray &extraHeaders = {}, const QByteArray &date = DefaultDate)
{
    QByteArray m = "Return-Path: <bounces@example.net>\r\n"
                   "Received: from mx.example.net by mail.example.org; Tue, 12 Mar 2024 09:15:05 +0100\r\n";
    if (!date.isEmpty())
        m += "Date: " + date + "\r\n";
    if (!from.isEmpty())
        m += "From: " + from + "\r\n";
    m += "To: Lists <lists@example.net>\r\n";
    m += "Subject: " + subject + "\r\n";
    m += "Message-ID: <" + QByteArray::number(qHash(subject + body)) + "@example.org>\r\n";
    m += extraHeaders;
    m += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    m += body;
    return m;
}

class Store
{
public:
    explicit Store(QString root)
        : m_root(std::move(root))
    {
    }

    QString root() const { return m_root; }

    // The root's own tmp/new/cur make it a store (and its Inbox).
    void create() const { makeFolderDir(m_root); }

    // A top-level folder by its name as written on disk (modified UTF-7).
    QString addFolder(const QString &diskName) const
    {
        const QString dir = folderDir(diskName);
        makeFolderDir(dir);
        return dir;
    }

    QString folderDir(const QString &diskName) const
    {
        return diskName.isEmpty() ? m_root : m_root + QStringLiteral("/.") + diskName;
    }

    // Delivers a message; arrival orders messages as the file name's leading
    // number does. Returns the file's path.
    QString deliver(const QString &diskName, const QByteArray &bytes, qint64 arrival, bool seen = false) const
    {
        const QString name = QStringLiteral("%1.M%2P4242.quillmar-test").arg(arrival).arg(arrival % 1000000);
        const QString path
            = folderDir(diskName)
              + (seen ? QStringLiteral("/cur/") + name + QStringLiteral(":2,S") : QStringLiteral("/new/") + name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }

    // Every file of the store by its path relative to the root, except the
    // index files a mail server adds.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(m_root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (QFileInfo(path).fileName().startsWith(QLatin1String("dovecot")))
                continue;
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            files.insert(QDir(m_root).relativeFilePath(path), file.readAll());
        }
        return files;
    }

    // The contents of a folder's messages, sorted, so a moved message is
    // found whatever its new name.
    QList<QByteArray> contents(const QString &diskName) const
    {
        QList<QByteArray> out;
        for (const QString &sub : {QStringLiteral("/new"), QStringLiteral("/cur")}) {
            const QDir dir(folderDir(diskName) + sub);
            for (const QString &f : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
                QFile file(dir.filePath(f));
                file.open(QIODevice::ReadOnly);
                out << file.readAll();
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    int count(const QString &diskName) const { return int(contents(diskName).size()); }

private:
    static void makeFolderDir(const QString &dir)
    {
        for (const char *sub : {"tmp", "new", "cur"})
            QDir().mkpath(dir + QLatin1Char('/') + QLatin1String(sub));
    }

    QString m_root;
};

inline QList<QByteArray> sorted(QList<QByteArray> list)
{
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace testmail
