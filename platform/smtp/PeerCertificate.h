#pragma once
// The certificate a TLS server presents, fetched without logging in, and
// judged: valid for the host name, or the one trusted by its fingerprint.
#include <QByteArray>
#include <QString>

namespace platform::smtp {

struct PeerCertificate
{
    QString problem; // empty when it could be read
    QString subject;
    QString fingerprint; // SHA-256 of the DER certificate, "AB:CD:..."
    QByteArray publicKeyPin; // "sha256//BASE64" of its public key
};

// url and useSsl as the session uses them; connects, does no AUTH.
PeerCertificate fetchPeerCertificate(const QByteArray &url, long useSsl, int timeoutSeconds);

bool sameFingerprint(const QString &a, const QString &b);

} // namespace platform::smtp
