#include "platform/smtp/SmtpTransport.h"

#include "platform/smtp/PeerCertificate.h"

#include <QHostAddress>

#include <curl/curl.h>

namespace platform::smtp {

namespace {

struct CurlGlobal
{
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

enum class Step { Other, Mail, Rcpt, Data, Body };

QByteArray between(const QByteArray &text, char open, char close)
{
    const qsizetype from = text.indexOf(open);
    const qsizetype to = text.lastIndexOf(close);
    return from >= 0 && to > from ? text.mid(from + 1, to - from - 1) : QByteArray();
}

} // namespace

bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

struct SmtpTransport::Impl
{
    SmtpConfig config;
    CURL *curl = nullptr;
    QByteArray url;
    long useSsl = CURLUSESSL_ALL;
    bool pinChecked = false;
    QByteArray pin;
    char errorText[CURL_ERROR_SIZE] = {};

    // What the current transaction has said so far, read off the dialogue.
    Step step = Step::Other;
    QByteArray rcpt;
    QByteArray pending; // a reply line not yet complete
    int code = 0; // the last final reply to the current step
    QString reply;
    QList<RecipientReply> replies;
    QString temporary; // a recipient put off: the message must not go
    const DataSource *data = nullptr;
    bool readFailed = false;
    bool leaving = false;

    QString server() const { return config.host + QLatin1Char(':') + QString::number(config.port); }

    void heard(const QByteArray &line)
    {
        if (leaving || line.size() < 3 || (line.size() > 3 && line.at(3) == '-'))
            return;
        code = line.left(3).toInt();
        reply = QString::fromUtf8(line).trimmed();
        if (step == Step::Rcpt) {
            replies.append({rcpt, code, reply});
            if (code >= 400 && code < 500 && temporary.isEmpty())
                temporary = QStringLiteral("RCPT TO:<%1>: %2").arg(QString::fromUtf8(rcpt), reply);
        }
    }

    static int debug(CURL *, curl_infotype type, char *text, size_t size, void *self)
    {
        auto *d = static_cast<Impl *>(self);
        const QByteArray chunk(text, qsizetype(size));
        if (type == CURLINFO_HEADER_OUT) {
            // Leaving says nothing about the message: its replies are not its.
            if (chunk.startsWith("QUIT") || chunk.startsWith("RSET")) {
                d->leaving = true;
                return 0;
            }
            d->code = 0;
            if (chunk.startsWith("MAIL FROM:")) {
                d->step = Step::Mail;
            } else if (chunk.startsWith("RCPT TO:")) {
                d->step = Step::Rcpt;
                d->rcpt = between(chunk, '<', '>');
            } else if (chunk.startsWith("DATA")) {
                d->step = Step::Data;
            } else {
                d->step = Step::Other;
            }
        } else if (type == CURLINFO_HEADER_IN) {
            d->pending += chunk;
            qsizetype end;
            while ((end = d->pending.indexOf('\n')) >= 0) {
                d->heard(d->pending.left(end));
                d->pending.remove(0, end + 1);
            }
        }
        return 0;
    }

    static size_t read(char *buf, size_t size, size_t count, void *self)
    {
        auto *d = static_cast<Impl *>(self);
        if (d->step != Step::Body) {
            d->step = Step::Body;
            d->code = 0;
        }
        // Sent to the others now, it would be sent to them again with the
        // retry for the one put off.
        if (!d->temporary.isEmpty())
            return CURL_READFUNC_ABORT;
        const qint64 n = (*d->data)(buf, qint64(size * count));
        if (n < 0) {
            d->readFailed = true;
            return CURL_READFUNC_ABORT;
        }
        return size_t(n);
    }

    [[noreturn]] void certificateRefused()
    {
        const PeerCertificate peer = fetchPeerCertificate(url, useSsl, config.timeoutSeconds);
        throw TransportError(
            TransportError::Kind::Certificate,
            QStringLiteral("The certificate of the mail server %1 is not trusted (%2). It names %3; its SHA-256 "
                           "fingerprint is %4.")
                .arg(server(), QString::fromUtf8(errorText[0] ? errorText : "not valid for this server"),
                     peer.subject.isEmpty() ? QStringLiteral("nobody") : peer.subject,
                     peer.fingerprint.isEmpty() ? peer.problem : peer.fingerprint),
            peer.subject, peer.fingerprint);
    }

    void checkTrustedCertificate()
    {
        if (pinChecked || config.trustedFingerprint.isEmpty() || config.security == Security::None)
            return;
        pinChecked = true;
        const PeerCertificate peer = fetchPeerCertificate(url, useSsl, config.timeoutSeconds);
        if (!sameFingerprint(peer.fingerprint, config.trustedFingerprint) || peer.publicKeyPin.isEmpty())
            return; // judged by the authorities as any other
        // The handshake itself then insists on the key of the certificate
        // trusted, before any password is sent.
        pin = peer.publicKeyPin;
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, pin.constData());
    }
};

SmtpTransport::SmtpTransport(SmtpConfig config)
    : m_impl(std::make_unique<Impl>())
{
    static CurlGlobal global;
    Impl &d = *m_impl;
    d.config = std::move(config);
    const SmtpConfig &c = d.config;
    if (c.host.trimmed().isEmpty() || holdsControl(c.host) || c.host.contains(QLatin1Char('/')) || holdsControl(c.user)
        || holdsControl(c.password))
        throw TransportError(TransportError::Kind::Setting,
                             QStringLiteral("The mail server's name, user name or password is empty or holds a line "
                                            "break or another character it cannot hold: %1.")
                                 .arg(c.host.trimmed().isEmpty() ? QStringLiteral("no server") : d.server()));
    if (c.security == Security::None && !isLoopback(c.host))
        throw TransportError(TransportError::Kind::Insecure,
                             QStringLiteral("Mail to %1 would go unencrypted: choose STARTTLS or SSL/TLS; no "
                                            "encryption is only for a server on this computer.")
                                 .arg(d.server()));
    const bool bracket = c.host.contains(QLatin1Char(':'));
    d.url = (c.security == Security::SslTls ? "smtps://" : "smtp://")
            + (bracket ? '[' + c.host.toUtf8() + ']' : c.host.toUtf8()) + ':' + QByteArray::number(c.port);
    d.useSsl = c.security == Security::None ? CURLUSESSL_NONE : CURLUSESSL_ALL;

    d.curl = curl_easy_init();
    if (!d.curl)
        throw TransportError(TransportError::Kind::Connection, QStringLiteral("No connection could be made."));
    CURL *h = d.curl;
    curl_easy_setopt(h, CURLOPT_URL, d.url.constData());
    curl_easy_setopt(h, CURLOPT_USE_SSL, d.useSsl);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, d.errorText);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, long(c.timeoutSeconds));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(c.timeoutSeconds));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, long(c.timeoutSeconds));
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &Impl::read);
    curl_easy_setopt(h, CURLOPT_READDATA, &d);
    // The dialogue is how each recipient's reply is told.
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &Impl::debug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &d);
    if (!c.user.isEmpty()) {
        const QByteArray user = c.user.toUtf8();
        const QByteArray password = c.password.toUtf8();
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData()); // libcurl keeps its own copy
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    }
}

SmtpTransport::~SmtpTransport()
{
    if (m_impl->curl)
        curl_easy_cleanup(m_impl->curl);
}

QString SmtpTransport::serverName() const
{
    return m_impl->server();
}

Submission SmtpTransport::submit(const QByteArray &sender, const QList<QByteArray> &recipients, const DataSource &data)
{
    Impl &d = *m_impl;
    if (holdsControl(sender) || sender.contains('<') || sender.contains('>'))
        throw TransportError(TransportError::Kind::Setting,
                             QStringLiteral("The envelope sender %1 holds a line break or another character an "
                                            "address cannot hold.")
                                 .arg(QString::fromUtf8(sender).simplified()));
    d.checkTrustedCertificate();

    curl_slist *list = nullptr;
    for (const QByteArray &r : recipients)
        list = curl_slist_append(list, ('<' + r + '>').constData());
    const QByteArray from = '<' + sender + '>';
    curl_easy_setopt(d.curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(d.curl, CURLOPT_MAIL_RCPT, list);
    d.step = Step::Other;
    d.code = 0;
    d.reply.clear();
    d.pending.clear();
    d.replies.clear();
    d.temporary.clear();
    d.readFailed = false;
    d.leaving = false;
    d.data = &data;
    d.errorText[0] = 0;
    const CURLcode rc = curl_easy_perform(d.curl);
    curl_easy_setopt(d.curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_slist_free_all(list);
    d.data = nullptr;

    Submission s;
    s.recipients = d.replies;
    if (rc == CURLE_OK) {
        s.outcome = Submission::Outcome::Accepted;
        return s;
    }
    if (!d.temporary.isEmpty()) {
        s.outcome = Submission::Outcome::Temporary;
        s.reason = d.temporary;
        return s;
    }
    if (d.readFailed) {
        s.outcome = Submission::Outcome::Temporary;
        s.reason = QStringLiteral("the message file could not be read to its end");
        return s;
    }
    // A reply of the server's to this message, not a broken connection.
    if (d.code >= 400 && d.step != Step::Other) {
        bool anyTaken = false;
        for (const RecipientReply &r : d.replies)
            anyTaken = anyTaken || (r.code >= 200 && r.code < 300);
        s.outcome = d.code < 500 ? Submission::Outcome::Temporary : Submission::Outcome::Refused;
        s.reason = d.step == Step::Rcpt && !anyTaken ? QStringLiteral("every recipient was refused") : d.reply;
        if (d.step != Step::Rcpt)
            s.reason = (d.step == Step::Mail   ? QStringLiteral("MAIL FROM: ")
                        : d.step == Step::Data ? QStringLiteral("DATA: ")
                                               : QStringLiteral("end of data: "))
                       + d.reply;
        return s;
    }
    const QString why = QString::fromUtf8(d.errorText[0] ? d.errorText : curl_easy_strerror(rc));
    switch (rc) {
    case CURLE_LOGIN_DENIED:
        throw TransportError(TransportError::Kind::Login,
                             QStringLiteral("The mail server %1 refused the user name or password (%2).")
                                 .arg(d.server(), d.reply.isEmpty() ? why : d.reply));
    case CURLE_PEER_FAILED_VERIFICATION:
        d.certificateRefused();
    case CURLE_USE_SSL_FAILED:
        throw TransportError(TransportError::Kind::Connection,
                             QStringLiteral("The mail server %1 does not offer STARTTLS (%2).").arg(d.server(), why));
    default:
        throw TransportError(TransportError::Kind::Connection,
                             QStringLiteral("The connection to the mail server %1 failed: %2.").arg(d.server(), why));
    }
}

} // namespace platform::smtp
