#include "platform/imap/ServerCertificate.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QSslError>
#include <QStringList>

namespace platform::imap {

CertificateVerdict judgeCertificate(const QByteArrayList &chain, const QString &host, const QString &trustedFingerprint)
{
    CertificateVerdict verdict;
    QList<QSslCertificate> certificates;
    for (const QByteArray &der : chain)
        certificates += QSslCertificate(der, QSsl::Der);
    if (certificates.isEmpty() || certificates.first().isNull()) {
        verdict.problem = QStringLiteral("the server presented no certificate");
        return verdict;
    }
    const QSslCertificate &leaf = certificates.first();
    verdict.fingerprint = QString::fromLatin1(leaf.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    verdict.subject = leaf.subjectDisplayName();
    if (verdict.subject.isEmpty())
        verdict.subject = leaf.subjectInfo(QSslCertificate::CommonName).join(QStringLiteral(", "));
    // A fingerprint the user accepted stands for exactly that certificate.
    if (!trustedFingerprint.isEmpty()
        && verdict.fingerprint.compare(trustedFingerprint.trimmed(), Qt::CaseInsensitive) == 0) {
        verdict.trusted = true;
        return verdict;
    }
    const QList<QSslError> errors = QSslCertificate::verify(certificates, host);
    if (errors.isEmpty()) {
        verdict.trusted = true;
        return verdict;
    }
    QStringList problems;
    for (const QSslError &e : errors) {
        if (!problems.contains(e.errorString()))
            problems += e.errorString();
    }
    verdict.problem = problems.join(QStringLiteral("; "));
    return verdict;
}

} // namespace platform::imap
