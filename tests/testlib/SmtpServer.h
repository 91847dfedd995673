#pragma once
// A real SMTP server for tests (Python's aiosmtpd, testlib/smtp_server.py)
// on 127.0.0.1 at a free port, with a self-signed certificate made at test
// time, STARTTLS or TLS, and AUTH PLAIN/LOGIN when a user is given. It
// answers recipients by their local part (temp... 451, perm... 550, drop...
// drops the connection inside DATA) and records what it accepted.
#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class SmtpServer
{
public:
    struct Received
    {
        QString from;
        QStringList to;
        QByteArray data;
    };

    // mode: "starttls", "tls" or "plain". False with the reason in error().
    bool start(const QString &mode = QStringLiteral("starttls"), const QString &user = {}, const QString &password = {})
    {
        QDir dir(m_dir.path());
        dir.mkpath(QStringLiteral("record"));
        if (mode != QLatin1String("plain")) {
            QProcess openssl;
            openssl.start(QStringLiteral("openssl"),
                          {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                           QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                           QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=quillmar-test-server"),
                           QStringLiteral("-keyout"), dir.filePath(QStringLiteral("key.pem")), QStringLiteral("-out"),
                           dir.filePath(QStringLiteral("cert.pem"))});
            if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
                m_error = QStringLiteral("openssl: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
                return false;
            }
        }
        // Debian's own Python, which has the package, before any other on PATH.
        m_server.setProgram(QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                              : QStringLiteral("python3"));
        m_server.setArguments({QStringLiteral(QUILLMAR_SMTP_SERVER_SCRIPT), QStringLiteral("--record"),
                               dir.filePath(QStringLiteral("record")), QStringLiteral("--cert"),
                               dir.filePath(QStringLiteral("cert.pem")), QStringLiteral("--key"),
                               dir.filePath(QStringLiteral("key.pem")), QStringLiteral("--mode"), mode,
                               QStringLiteral("--user"), user, QStringLiteral("--password"), password});
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start();
        while (m_server.waitForReadyRead(20000)) {
            const QByteArray line = m_server.readLine().trimmed();
            if (line.startsWith("PORT ")) {
                m_port = quint16(line.mid(5).toUInt());
                return true;
            }
        }
        m_error = QStringLiteral("the test SMTP server did not start");
        return false;
    }

    ~SmtpServer() { stop(); }

    void stop()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.closeWriteChannel();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished(5000);
        }
    }

    quint16 port() const { return m_port; }

    // SIGKILL to the process whose id pidFile holds once the server has
    // recorded its count-th message: delayMs after its reply, or before any
    // reply when negative.
    void killClientAt(const QString &pidFile, int count, int delayMs)
    {
        m_server.write(QStringLiteral("KILL %1 %2 %3\n").arg(pidFile).arg(count).arg(delayMs).toUtf8());
        m_server.waitForBytesWritten(5000);
    }
    QString error() const { return m_error; }

    // SHA-256 of the server's certificate, as the program shows it.
    QString fingerprint() const
    {
        QFile f(QDir(m_dir.path()).filePath(QStringLiteral("cert.pem")));
        f.open(QIODevice::ReadOnly);
        QByteArray pem = f.readAll();
        pem = pem.mid(pem.indexOf('\n') + 1);
        pem = pem.left(pem.indexOf("-----END"));
        const QByteArray der = QByteArray::fromBase64(pem.replace('\n', ""));
        return QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex(':').toUpper());
    }

    QList<Received> received() const
    {
        QList<Received> out;
        QDir dir(QDir(m_dir.path()).filePath(QStringLiteral("record")));
        for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::ReadOnly);
            const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
            Received r;
            r.from = o.value(QStringLiteral("from")).toString();
            for (const QJsonValue &v : o.value(QStringLiteral("to")).toArray())
                r.to += v.toString();
            r.data = QByteArray::fromBase64(o.value(QStringLiteral("data")).toString().toLatin1());
            out += r;
        }
        return out;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    quint16 m_port = 0;
    QString m_error;
};
