#include "platform/smtp/PeerCertificate.h"

#include <QCryptographicHash>
#include <QSslCertificate>
#include <QStringList>

#include <curl/curl.h>
#include <gnutls/abstract.h>
#include <gnutls/x509.h>

#include <memory>

namespace platform::smtp {

namespace {

QByteArray publicKeyDer(const QByteArray &certificateDer)
{
    gnutls_x509_crt_t crt = nullptr;
    gnutls_pubkey_t key = nullptr;
    QByteArray out;
    gnutls_datum_t in{reinterpret_cast<unsigned char *>(const_cast<char *>(certificateDer.constData())),
                      unsigned(certificateDer.size())};
    if (gnutls_x509_crt_init(&crt) == 0 && gnutls_x509_crt_import(crt, &in, GNUTLS_X509_FMT_DER) == 0
        && gnutls_pubkey_init(&key) == 0 && gnutls_pubkey_import_x509(key, crt, 0) == 0) {
        gnutls_datum_t der{};
        if (gnutls_pubkey_export2(key, GNUTLS_X509_FMT_DER, &der) == 0) {
            out = QByteArray(reinterpret_cast<const char *>(der.data), int(der.size));
            gnutls_free(der.data);
        }
    }
    if (key)
        gnutls_pubkey_deinit(key);
    if (crt)
        gnutls_x509_crt_deinit(crt);
    return out;
}

} // namespace

bool sameFingerprint(const QString &a, const QString &b)
{
    const auto bare = [](QString s) { return s.remove(QLatin1Char(':')).trimmed().toUpper(); };
    return !a.trimmed().isEmpty() && bare(a) == bare(b);
}

PeerCertificate fetchPeerCertificate(const QByteArray &url, long useSsl, int timeoutSeconds)
{
    PeerCertificate out;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl) {
        out.problem = QStringLiteral("no connection could be made");
        return out;
    }
    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_USE_SSL, useSsl);
    // Only to look at what it presents: nothing is sent, no password.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(h, CURLOPT_CERTINFO, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, long(timeoutSeconds));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(timeoutSeconds));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    const CURLcode rc = curl_easy_perform(h);
    struct curl_certinfo *info = nullptr;
    if (rc != CURLE_OK || curl_easy_getinfo(h, CURLINFO_CERTINFO, &info) != CURLE_OK || !info
        || info->num_of_certs < 1) {
        out.problem = rc != CURLE_OK ? QString::fromUtf8(curl_easy_strerror(rc))
                                     : QStringLiteral("the server presented no certificate");
        return out;
    }
    QByteArray pem;
    for (curl_slist *item = info->certinfo[0]; item; item = item->next) {
        const QByteArray field(item->data);
        if (field.startsWith("Cert:"))
            pem = field.mid(5);
    }
    const QSslCertificate leaf(pem, QSsl::Pem);
    if (leaf.isNull()) {
        out.problem = QStringLiteral("the server's certificate could not be read");
        return out;
    }
    out.fingerprint = QString::fromLatin1(leaf.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    out.subject = leaf.subjectDisplayName();
    if (out.subject.isEmpty())
        out.subject = leaf.subjectInfo(QSslCertificate::CommonName).join(QStringLiteral(", "));
    const QByteArray key = publicKeyDer(leaf.toDer());
    if (!key.isEmpty())
        out.publicKeyPin = "sha256//" + QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64();
    return out;
}

} // namespace platform::smtp
