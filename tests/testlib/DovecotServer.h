#pragma once
// Debian's Dovecot as a real IMAP server for tests: its own configuration,
// runtime and state directories, a self-signed certificate made now, one
// passwd-file user and a Maildir++ store, listening on 127.0.0.1 only. It
// never uses (or disturbs) a system Dovecot. No QTest here: the benchmarks
// use it too.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

namespace testmail {

class DovecotServer
{
public:
    struct Options
    {
        // Replaces the capabilities announced after login (e.g. without MOVE
        // and UIDPLUS); empty keeps Dovecot's own.
        QString capability;
        QString user = QStringLiteral("tester");
        QString password = QStringLiteral("secret");
    };

    DovecotServer() = default;
    explicit DovecotServer(Options options)
        : m_options(std::move(options))
    {
    }
    ~DovecotServer() { stop(); }
    DovecotServer(const DovecotServer &) = delete;
    DovecotServer &operator=(const DovecotServer &) = delete;

    // Writes the configuration and certificate; the store exists afterwards
    // (mailRoot()), so messages can be delivered before start().
    bool prepare()
    {
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary directory"));
        // Dovecot's unprivileged processes must reach their sockets.
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        QDir dir(m_dir.path());
        for (const char *sub : {"run", "state", "home", "mail/cur", "mail/new", "mail/tmp"})
            dir.mkpath(QString::fromLatin1(sub));
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                       QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                       QStringLiteral("-nodes"), QStringLiteral("-keyout"), path("key.pem"), QStringLiteral("-out"),
                       path("cert.pem"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=quillmar-test")});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            return fail(QStringLiteral("openssl could not make a certificate: ")
                        + QString::fromLocal8Bit(openssl.readAllStandardError()));
        if (!write("passwd", m_options.user + QStringLiteral(":{PLAIN}") + m_options.password + QLatin1Char('\n')))
            return false;
        m_imapPort = freePort();
        m_imapsPort = freePort();
        return write("dovecot.conf", config());
    }

    bool start()
    {
        if (m_imapPort == 0 && !prepare())
            return false;
        handOverStore();
        for (int attempt = 1;; ++attempt) {
            QProcess dovecot;
            dovecot.start(QStringLiteral("/usr/sbin/dovecot"), {QStringLiteral("-c"), path("dovecot.conf")});
            if (dovecot.waitForFinished(30000) && dovecot.exitCode() == 0)
                break;
            const QString error = QString::fromLocal8Bit(dovecot.readAllStandardError());
            // A test running beside this one may take a port between its pick
            // and Dovecot's bind; a server that never ran may move.
            if (!m_started && attempt < 5 && error.contains(QLatin1String("Address already in use"))) {
                m_imapPort = freePort();
                m_imapsPort = freePort();
                if (!write("dovecot.conf", config()))
                    return false;
                continue;
            }
            return fail(QStringLiteral("dovecot did not start: ") + error + log());
        }
        m_running = true;
        m_started = true;
        for (int i = 0; i < 100; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), m_imapsPort);
            if (probe.waitForConnected(100))
                return true;
            QThread::msleep(50);
        }
        return fail(QStringLiteral("dovecot does not listen on port %1").arg(m_imapsPort) + log());
    }

    // Root hands the store to the unprivileged user the mail processes run
    // as; call again after delivering into a running server.
    void handOverStore() const
    {
        if (geteuid() != 0)
            return;
        std::error_code ignored;
        for (const auto &e : std::filesystem::recursive_directory_iterator(path("mail").toStdString(), ignored))
            (void)::chown(e.path().c_str(), mailUid(), mailUid());
        (void)::chown(path("mail").toLocal8Bit().constData(), mailUid(), mailUid());
        (void)::chown(path("home").toLocal8Bit().constData(), mailUid(), mailUid());
    }

    void stop()
    {
        if (!m_running)
            return;
        m_running = false;
        QProcess::execute(QStringLiteral("/usr/sbin/dovecot"),
                          {QStringLiteral("-c"), path("dovecot.conf"), QStringLiteral("stop")});
        // The master removes its pid file once every child has gone.
        for (int i = 0; i < 100 && QFile::exists(path("run/master.pid")); ++i)
            QThread::msleep(50);
    }

    // The server dies at once with every process it started, connections
    // included, as a crash or a pulled cable would end them.
    void kill()
    {
        if (!m_running)
            return;
        QFile pidFile(path("run/master.pid"));
        if (pidFile.open(QIODevice::ReadOnly)) {
            const pid_t master = pid_t(pidFile.readAll().trimmed().toLong());
            // The master leads its own process group.
            if (master > 1 && ::getpgid(master) == master)
                ::kill(-master, SIGKILL);
        }
        m_running = false;
        for (int i = 0; i < 100 && QFile::exists(path("run/master.pid")); ++i) {
            if (::kill(pid_t(QString::fromLatin1(readPid()).toLong()), 0) != 0)
                QFile::remove(path("run/master.pid"));
            else
                QThread::msleep(20);
        }
    }

    // The server stops answering, connections open, as a hung host would;
    // resume() lets it go on.
    void pause() { signalAll(SIGSTOP); }
    void resume() { signalAll(SIGCONT); }

    // Another client's session over plain IMAP: logs in, sends each command
    // once the one before was answered, logs out. What the server said.
    QByteArray converse(const QByteArrayList &commands) const
    {
        QTcpSocket s;
        s.connectToHost(host(), m_imapPort);
        if (!s.waitForConnected(5000))
            return {};
        QByteArray said;
        auto answered = [&](const QByteArray &tag) {
            while (s.waitForReadyRead(10000)) {
                said += s.readAll();
                if (tag.isEmpty() ? said.contains("\r\n") : said.contains("\r\n" + tag + ' '))
                    return true;
            }
            return false;
        };
        answered({});
        QByteArrayList all{"LOGIN " + m_options.user.toUtf8() + ' ' + m_options.password.toUtf8()};
        all << commands << "LOGOUT";
        for (qsizetype i = 0; i < all.size(); ++i) {
            const QByteArray tag = 'c' + QByteArray::number(i);
            s.write(tag + ' ' + all.at(i) + "\r\n");
            if (!answered(tag))
                break;
        }
        return said;
    }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 imapsPort() const { return m_imapsPort; }
    quint16 imapPort() const { return m_imapPort; }
    QString user() const { return m_options.user; }
    QString password() const { return m_options.password; }
    // The Maildir++ store behind the account (Inbox at its root).
    QString mailRoot() const { return path("mail"); }
    QString certificatePath() const { return path("cert.pem"); }
    QString error() const { return m_error; }
    QString log() const
    {
        QFile f(path("dovecot.log"));
        return f.open(QIODevice::ReadOnly) ? QStringLiteral("\n") + QString::fromUtf8(f.readAll()) : QString();
    }

private:
    void signalAll(int signal) const
    {
        const pid_t master = pid_t(QString::fromLatin1(readPid()).toLong());
        // The master leads its own process group, its children included.
        if (m_running && master > 1 && ::getpgid(master) == master)
            ::kill(-master, signal);
    }

    QByteArray readPid() const
    {
        QFile f(path("run/master.pid"));
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
    }

    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    static bool root() { return geteuid() == 0; }
    static uid_t mailUid() { return root() ? 65534 : getuid(); }
    static QString userName(uid_t uid)
    {
        const passwd *pw = getpwuid(uid);
        return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
    }
    static QString groupName()
    {
        if (root())
            return QStringLiteral("dovecot");
        const group *gr = getgrgid(getgid());
        return gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(getgid());
    }

    QString config() const
    {
        const QString internalUser = root() ? QStringLiteral("dovecot") : userName(getuid());
        const QString loginUser = root() ? QStringLiteral("dovenull") : userName(getuid());
        QString c;
        c += QStringLiteral("protocols = imap\nlisten = 127.0.0.1\n");
        c += QStringLiteral("base_dir = %1\nstate_dir = %2\n").arg(path("run"), path("state"));
        c += QStringLiteral("log_path = %1\n").arg(path("dovecot.log"));
        c += QStringLiteral("ssl = yes\nssl_cert = <%1\nssl_key = <%2\n").arg(path("cert.pem"), path("key.pem"));
        c += QStringLiteral("disable_plaintext_auth = no\nauth_mechanisms = plain login\nauth_failure_delay = 0\n");
        c += QStringLiteral("default_internal_user = %1\n").arg(internalUser);
        c += QStringLiteral("default_internal_group = %1\n").arg(groupName());
        c += QStringLiteral("default_login_user = %1\n").arg(loginUser);
        c += QStringLiteral("passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1\n}\n").arg(path("passwd"));
        c += QStringLiteral("userdb {\n  driver = static\n  args = uid=%1 gid=%2 home=%3\n}\n")
                 .arg(mailUid())
                 .arg(root() ? 65534 : getgid())
                 .arg(path("home"));
        c += QStringLiteral("mail_location = maildir:%1\n").arg(path("mail"));
        c += QStringLiteral("namespace inbox {\n  inbox = yes\n  separator = /\n"
                            "  mailbox Trash {\n    special_use = \\Trash\n  }\n"
                            "  mailbox Sent {\n    special_use = \\Sent\n  }\n}\n");
        if (!m_options.capability.isEmpty())
            c += QStringLiteral("imap_capability = %1\n").arg(m_options.capability);
        c += QStringLiteral("service anvil {\n  chroot =\n}\n");
        c += QStringLiteral("service imap-login {\n  chroot =\n"
                            "  inet_listener imap {\n    address = 127.0.0.1\n    port = %1\n  }\n"
                            "  inet_listener imaps {\n    address = 127.0.0.1\n    port = %2\n    ssl = yes\n  }\n}\n")
                 .arg(m_imapPort)
                 .arg(m_imapsPort);
        return c;
    }

    QString path(const char *name) const { return QDir(m_dir.path()).filePath(QString::fromLatin1(name)); }

    bool write(const char *name, const QString &text)
    {
        QFile f(path(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0)
            return fail(QStringLiteral("cannot write ") + path(name));
        return true;
    }

    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }

    Options m_options;
    QTemporaryDir m_dir;
    quint16 m_imapPort = 0;
    quint16 m_imapsPort = 0;
    bool m_running = false;
    bool m_started = false; // once: its ports are then the clients' to keep
    QString m_error;
};

} // namespace testmail
