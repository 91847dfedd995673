#pragma once
// The stand-in mail library as the program loads it, with every message it
// writes read back by an independent parser (Python's email package).
#include "mail/Email.h"
#include "testlib/TestEnv.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>

#include <memory>
#include <tuple>

// A message as a caller of the C interface builds it, texts as bytes.
struct RawMessage
{
    QByteArray subject, body;
    QList<std::tuple<ULONG, QByteArray, QByteArray>> recipients; // class, name, address
    QList<std::pair<QByteArray, QByteArray>> files; // path, name
};

class TestMapi32 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> m_env;
    std::unique_ptr<SMapi> m_mapi;
    QString m_store;

    const MapiFunctions &f() const { return m_mapi->functions(); }
    void registerProfile(const QString &store);
    QStringList files(const QString &folder, const QString &sub = QStringLiteral("new")) const;
    // The one message that arrived in the folder.
    QJsonObject readBack(const QString &folder = QStringLiteral(".Outbox"));
    bool nothingWritten() const;
    std::unique_ptr<TEmail> makeEmail();
    LHANDLE logon();
    ULONG send(const RawMessage &message, LHANDLE session = 0);

private Q_SLOTS:
    void initTestCase();
    void init();
    void registrationKeepsWhatIsThere();
    void noRecipientsGoesToDrafts();
    void namesResolveAgainstContacts_data();
    void namesResolveAgainstContacts();
    void resolvedNamesReachTheirAddresses();
    void addressesAHeaderCanHold_data();
    void addressesAHeaderCanHold();
    void storeProblems();
    void profileNamingMissingStore();
    void senderWithControlCharacters_data();
    void senderWithControlCharacters();
    void callsOutsideTheSendPath();

    // Message content (tst_mapi32_messages.cpp).
    void headersNamesAndReceipt();
    void fiveHundredBccAndOneMegabyteBody();
    void textArrivesAsGiven_data();
    void textArrivesAsGiven();
    void invalidTextAndHeaderInjection();
    void attachmentsArriveByteForByte();
    void attachmentsOpenedOneAtATime();
    void badAttachmentsWriteNothing();
    void pipeAttachmentAnsweredAtOnce();
    void hundredMegabyteAttachment();
};

namespace mapitest {

inline QJsonArray mailbox(const QString &name, const QString &address)
{
    return QJsonArray{QJsonArray{name, address}};
}

QString sha256(const QByteArray &bytes);
void writeFile(const QString &path, const QByteArray &bytes);

inline QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace mapitest
