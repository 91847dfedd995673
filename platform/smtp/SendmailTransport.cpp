#include "platform/smtp/SendmailTransport.h"

#include <cctype>
#include <cstring>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

namespace platform::smtp {

namespace {

// sysexits.h: the mail system asks to be tried again later.
constexpr int TempFail = 75;

} // namespace

bool holdsControl(const QByteArray &text)
{
    for (const char c : text) {
        if (uchar(c) < 0x20 || c == 0x7f)
            return true;
    }
    return false;
}

QByteArray verpSender(const QByteArray &owner, const QByteArray &recipient)
{
    const qsizetype o = owner.lastIndexOf('@');
    const qsizetype r = recipient.lastIndexOf('@');
    if (o <= 0 || r <= 0 || o + 1 == owner.size() || r + 1 == recipient.size())
        return {};
    // A quoted local part would need the whole address quoted anew.
    for (const char c : recipient.left(r)) {
        if (!std::isalnum(uchar(c)) && !std::strchr("!#$%&'*+-/=?^_`{|}~.", c))
            return {};
    }
    return owner.left(o) + '+' + recipient.left(r) + '=' + recipient.mid(r + 1) + owner.mid(o);
}

bool holdsControl(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

QString SendmailTransport::defaultProgram()
{
    const QString chosen = QProcessEnvironment::systemEnvironment().value(QStringLiteral("QUILLMAR_SENDMAIL"));
    return chosen.isEmpty() ? QStringLiteral("/usr/sbin/sendmail") : chosen;
}

SendmailTransport::SendmailTransport(QString program, int timeoutSeconds)
    : m_program(std::move(program))
    , m_timeoutSeconds(timeoutSeconds)
{
}

Submission SendmailTransport::submit(const QByteArray &sender, const QList<QByteArray> &recipients,
                                     const DataSource &data)
{
    if (holdsControl(sender))
        throw TransportError(TransportError::Kind::Setting,
                             QStringLiteral("The envelope sender holds a line break or another control character."));
    QStringList arguments{QStringLiteral("-i"), QStringLiteral("-f"), QString::fromUtf8(sender), QStringLiteral("--")};
    for (const QByteArray &r : recipients)
        arguments += QString::fromUtf8(r);

    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(m_program, arguments);
    const int waitMs = m_timeoutSeconds * 1000;
    if (!process.waitForStarted(waitMs))
        throw TransportError(TransportError::Kind::Connection,
                             QStringLiteral("The sendmail command %1 could not be started (%2).")
                                 .arg(QDir::toNativeSeparators(m_program), process.errorString()));
    char buf[64 * 1024];
    bool readFailed = false;
    for (;;) {
        const qint64 n = data(buf, sizeof buf);
        if (n < 0)
            readFailed = true;
        if (n <= 0)
            break;
        if (process.write(buf, n) != n || !process.waitForBytesWritten(waitMs))
            break;
    }
    if (readFailed) {
        // An unfinished message must not go out: the command is stopped
        // before it reads the end of its input.
        process.kill();
        process.waitForFinished(waitMs);
        Submission s;
        s.outcome = Submission::Outcome::Temporary;
        s.reason = QStringLiteral("the message file could not be read to its end");
        return s;
    }
    process.closeWriteChannel();
    if (!process.waitForFinished(waitMs)) {
        process.kill();
        process.waitForFinished(waitMs);
        throw TransportError(TransportError::Kind::Connection,
                             QStringLiteral("The sendmail command %1 did not finish within %2 seconds.")
                                 .arg(QDir::toNativeSeparators(m_program))
                                 .arg(m_timeoutSeconds));
    }
    Submission s;
    const QString said = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        s.outcome = Submission::Outcome::Accepted;
        return s;
    }
    s.outcome = process.exitStatus() == QProcess::NormalExit && process.exitCode() == TempFail
                    ? Submission::Outcome::Temporary
                    : Submission::Outcome::Refused;
    s.reason = process.exitStatus() == QProcess::NormalExit
                   ? QStringLiteral("sendmail ended with status %1").arg(process.exitCode())
                   : QStringLiteral("sendmail stopped abnormally");
    if (!said.isEmpty())
        s.reason += QStringLiteral(": ") + said.simplified();
    return s;
}

} // namespace platform::smtp
