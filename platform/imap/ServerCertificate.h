#pragma once
// Judges the certificate chain a server presented, before any password is
// sent: valid for the host name by the system's authorities, or the very
// certificate the user chose to trust for this server.
#include <QByteArrayList>
#include <QString>

namespace platform::imap {

struct CertificateVerdict
{
    bool trusted = false;
    QString problem; // why it is not valid, when it is not
    QString subject;
    QString fingerprint; // SHA-256 of the server's certificate, "AB:CD:..."
};

// chain: DER, the server's certificate first.
CertificateVerdict judgeCertificate(const QByteArrayList &chain, const QString &host,
                                    const QString &trustedFingerprint);

} // namespace platform::imap
