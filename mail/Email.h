#pragma once
// The mail component: logs on to the user's mail profile through Simple
// MAPI, resolves recipient names, shows the mail system's address book and
// hands over one message at a time. Every MAPI operation throws
// EMapiUnavailable when the library is not bound; every other failure is a
// Simple MAPI result code, also reported through OnMapiError. The component
// shows nothing itself.
#include "mail/SMapi.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <optional>
#include <stdexcept>

class EMapiUnavailable : public std::runtime_error
{
public:
    EMapiUnavailable()
        : std::runtime_error("MAPI services are not available on this system")
    {
    }
};

class TEmail : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool Acknowledge READ Acknowledge WRITE setAcknowledge)
    Q_PROPERTY(QStringList Attachment READ Attachment WRITE setAttachment)
    Q_PROPERTY(QStringList Bcc READ Bcc WRITE setBcc)
    Q_PROPERTY(QStringList CC READ CC WRITE setCC)
    Q_PROPERTY(bool DownLoadFirst READ DownLoadFirst WRITE setDownLoadFirst)
    Q_PROPERTY(bool MapiAvail READ MapiAvail)
    Q_PROPERTY(bool NewSession READ NewSession WRITE setNewSession)
    Q_PROPERTY(QString Password READ Password WRITE setPassword)
    Q_PROPERTY(QString Profile READ Profile WRITE setProfile)
    Q_PROPERTY(QStringList Recipient READ Recipient WRITE setRecipient)
    Q_PROPERTY(bool ShowDialog READ ShowDialog WRITE setShowDialog)
    Q_PROPERTY(QString Subject READ Subject WRITE setSubject)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(bool TruncAttFN READ TruncAttFN WRITE setTruncAttFN)
    Q_PROPERTY(bool UnreadOnly READ UnreadOnly WRITE setUnreadOnly)
    Q_PROPERTY(bool UseDefProfile READ UseDefProfile WRITE setUseDefProfile)
    Q_PROPERTY(bool UseLongMessageID READ UseLongMessageID WRITE setUseLongMessageID)
    Q_PROPERTY(QString Version READ Version)

public:
    // Above this many recipients or attachments a message is refused.
    static constexpr qsizetype MaxEntries = 0x5555555;
    // Subject, Text, Profile and Password hold at most this many characters.
    static constexpr qsizetype ShortStringLength = 255;

    explicit TEmail(const SMapi &mapi, QObject *owner = nullptr);
    ~TEmail() override;

    bool Acknowledge() const { return m_acknowledge; }
    void setAcknowledge(bool value) { m_acknowledge = value; }
    QStringList Attachment() const { return m_attachment; }
    void setAttachment(const QStringList &value) { m_attachment = value; }
    QStringList Bcc() const { return m_bcc; }
    void setBcc(const QStringList &value) { m_bcc = value; }
    QStringList CC() const { return m_cc; }
    void setCC(const QStringList &value) { m_cc = value; }
    bool DownLoadFirst() const { return m_downLoadFirst; }
    void setDownLoadFirst(bool value);
    bool MapiAvail() const { return m_mapi.MapiAvailable(); }
    bool NewSession() const { return m_newSession; }
    void setNewSession(bool value);
    QString Password() const { return m_password; }
    void setPassword(const QString &value);
    QString Profile() const { return m_profile; }
    void setProfile(const QString &value);
    QStringList Recipient() const { return m_recipient; }
    void setRecipient(const QStringList &value) { m_recipient = value; }
    bool ShowDialog() const { return m_showDialog; }
    void setShowDialog(bool value) { m_showDialog = value; }
    QString Subject() const { return m_subject; }
    void setSubject(const QString &value);
    QString Text() const { return m_text; }
    void setText(const QString &value);
    bool TruncAttFN() const { return m_truncAttFN; }
    void setTruncAttFN(bool value) { m_truncAttFN = value; }
    bool UnreadOnly() const { return m_unreadOnly; }
    void setUnreadOnly(bool value) { m_unreadOnly = value; }
    bool UseDefProfile() const { return m_useDefProfile; }
    void setUseDefProfile(bool value) { m_useDefProfile = value; }
    bool UseLongMessageID() const { return m_useLongMessageID; }
    void setUseLongMessageID(bool value) { m_useLongMessageID = value; }
    QString Version() const { return QStringLiteral("2.09.02"); }

    // Header fields of a list message ("Name: value"), for the local mail
    // library, which adds them; the system's library on Windows has no way
    // to take them, so they are not given to it.
    QList<QByteArray> ListFields() const { return m_listFields; }
    void setListFields(const QList<QByteArray> &value) { m_listFields = value; }

    FLAGS LogonFlags() const { return m_logonFlags; }
    bool sessionOpen() const { return m_session != 0; }

    virtual void CheckMapi() const;
    virtual QString TruncateFileName(const QString &name) const;

    // Each returns the Simple MAPI result code, 0 on success.
    int Logon();
    int Logoff();
    int SendMail();
    // The text to keep in a recipient list; empty when it does not resolve.
    QString ResolveRecipient(const QString &typed);
    // The path when a file of that name exists, else empty.
    QString CheckAttachment(const QString &path) const;
    int OpenAddressBook();
    void Reset();
    // The message body, of any length, in place of Text; a null string
    // removes it. Returns the length of the stored copy.
    int SetLongText(const QString &text);

Q_SIGNALS:
    void OnBeforeLogon(QObject *Sender);
    void OnAfterLogon(QObject *Sender);
    void OnBeforeLogoff(QObject *Sender);
    void OnAfterLogoff(QObject *Sender);
    // Published for forms; no operation fires them.
    void OnBeforeSaveMail(QObject *Sender);
    void OnAfterSaveMail(QObject *Sender);
    void OnBeforeSendMail(QObject *Sender);
    void OnAfterSendMail(QObject *Sender);
    void OnMapiError(QObject *Sender, int ErrorCode);

protected:
    virtual void DoBeforeLogon();
    virtual void DoAfterLogon();
    virtual void DoBeforeLogoff();
    virtual void DoAfterLogoff();
    virtual void DoBeforeSaveMail();
    virtual void DoAfterSaveMail();
    virtual void DoBeforeSendMail();
    virtual void DoAfterSendMail();
    virtual void DoMapiError(int ErrorCode);

private:
    struct RecipientArray;
    class LibraryBuffer;
    class OwnSession;

    // A recipient as the library resolved it: the texts its descriptor
    // points to, and the text to keep in the recipient list.
    struct Resolved
    {
        QByteArray name;
        QByteArray address;
        QByteArray entryId;
        QString listed;
    };

    void readDefaultProfile();
    int resolve(const QString &text, LibraryBuffer &result);
    // Resolves a list entry; 0 or the library's error.
    int resolveEntry(const QString &entry, Resolved &out);
    int buildRecipients(QStringList &list, ULONG recipClass, RecipientArray &out);
    qsizetype recipientCount() const { return m_recipient.size() + m_cc.size() + m_bcc.size(); }

    const SMapi &m_mapi;
    LHANDLE m_session = 0;
    FLAGS m_logonFlags = 0;
    std::optional<QString> m_longText;

    bool m_acknowledge = false;
    QStringList m_attachment;
    QStringList m_bcc;
    QStringList m_cc;
    bool m_downLoadFirst = false;
    bool m_newSession = false;
    QString m_password;
    QString m_profile;
    QStringList m_recipient;
    bool m_showDialog = false;
    QString m_subject;
    QString m_text;
    bool m_truncAttFN = true;
    bool m_unreadOnly = false;
    bool m_useDefProfile = false;
    bool m_useLongMessageID = true;
    QList<QByteArray> m_listFields;
    // What ResolveRecipient found, by the text it returned, until the next
    // message is sent: a bulk send then resolves each address once.
    QHash<QString, Resolved> m_resolved;
};
