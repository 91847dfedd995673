#pragma once
// Submission to an SMTP server over libcurl: one connection kept for every
// message of a run, STARTTLS or TLS from the start (plain text only to this
// computer), AUTH when a user is set, and a reply for each recipient. The
// server's certificate must be valid for its name, or be the very one the
// user chose to trust for this server.
#include "platform/smtp/Transport.h"

#include <memory>

namespace platform::smtp {

enum class Security { StartTls, SslTls, None };

struct SmtpConfig
{
    QString host;
    quint16 port = 587;
    Security security = Security::StartTls;
    QString user;
    QString password;
    // SHA-256 of a certificate trusted for this server ("AB:CD:..."); empty
    // trusts only certificates valid by the system's authorities.
    QString trustedFingerprint;
    int timeoutSeconds = 30;
};

bool isLoopback(const QString &host);

class SmtpTransport : public Transport
{
public:
    // Throws TransportError (Insecure, Setting) for a configuration that
    // must not be used; connects only at the first message.
    explicit SmtpTransport(SmtpConfig config);
    ~SmtpTransport() override;

    bool wantsCrLf() const override { return true; }
    QString serverName() const override;
    Submission submit(const QByteArray &sender, const QList<QByteArray> &recipients, const DataSource &data) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace platform::smtp
