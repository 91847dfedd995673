#include "mail/Email.h"

#include "core/LockedFiles.h"
#include "platform/mapi/MapiProfileKeys.h"
#include "platform/registry/Registry.h"

#include <QFileInfo>

#include <deque>
#include <vector>

namespace {

QString shortString(const QString &text)
{
    if (text.size() <= TEmail::ShortStringLength)
        return text;
    qsizetype n = TEmail::ShortStringLength;
    if (text.at(n - 1).isHighSurrogate())
        --n; // never half a character
    return text.left(n);
}

bool holdsBrackets(const QString &text)
{
    return text.contains(QLatin1Char('[')) && text.contains(QLatin1Char(']'));
}

// A typed "[SMTP:someone]" stays as typed when the mail system resolved it
// to a name without brackets.
bool isLiteralAddress(const QString &entry, const QString &resolvedName)
{
    return holdsBrackets(entry) && !resolvedName.contains(QLatin1Char('[')) && !resolvedName.contains(QLatin1Char(']'));
}

} // namespace

// The descriptors handed to the library and the texts they point into.
struct TEmail::RecipientArray
{
    std::vector<MapiRecipDesc> descs;
    std::deque<QByteArray> texts;

    char *keep(const QByteArray &bytes)
    {
        texts.push_back(bytes);
        return texts.back().data();
    }
};

// A structure the library allocated, released when it goes out of scope.
class TEmail::LibraryBuffer
{
public:
    explicit LibraryBuffer(const MapiFunctions &f, lpMapiRecipDesc p = nullptr)
        : m_f(f)
        , m_p(p)
    {
    }
    ~LibraryBuffer() { reset(nullptr); }
    LibraryBuffer(const LibraryBuffer &) = delete;
    LibraryBuffer &operator=(const LibraryBuffer &) = delete;

    void reset(lpMapiRecipDesc p)
    {
        if (m_p)
            m_f.MAPIFreeBuffer(m_p);
        m_p = p;
    }
    lpMapiRecipDesc get() const { return m_p; }
    lpMapiRecipDesc operator->() const { return m_p; }

private:
    const MapiFunctions &m_f;
    lpMapiRecipDesc m_p;
};

// Logs on unless a session is open, and off again on every way out when
// this call opened the session.
class TEmail::OwnSession
{
public:
    explicit OwnSession(TEmail &email)
        : m_email(email)
    {
        const bool wasOpen = m_email.m_session != 0;
        m_code = m_email.Logon();
        m_mine = !wasOpen && m_code == SUCCESS_SUCCESS;
    }
    ~OwnSession()
    {
        if (m_mine) {
            try {
                m_email.Logoff();
            } catch (...) {
            }
        }
    }
    OwnSession(const OwnSession &) = delete;
    OwnSession &operator=(const OwnSession &) = delete;
    int code() const { return m_code; }

private:
    TEmail &m_email;
    bool m_mine = false;
    int m_code = 0;
};

TEmail::TEmail(const SMapi &mapi, QObject *owner)
    : QObject(owner)
    , m_mapi(mapi)
{
}

TEmail::~TEmail()
{
    if (m_session) {
        try {
            Logoff();
        } catch (...) {
        }
    }
}

void TEmail::setDownLoadFirst(bool value)
{
    m_downLoadFirst = value;
    m_logonFlags = value ? (m_logonFlags | MAPI_FORCE_DOWNLOAD) : (m_logonFlags & ~FLAGS(MAPI_FORCE_DOWNLOAD));
}

void TEmail::setNewSession(bool value)
{
    m_newSession = value;
    m_logonFlags = value ? (m_logonFlags | MAPI_NEW_SESSION) : (m_logonFlags & ~FLAGS(MAPI_NEW_SESSION));
}

void TEmail::setPassword(const QString &value)
{
    m_password = shortString(value);
}

void TEmail::setProfile(const QString &value)
{
    m_profile = shortString(value);
}

void TEmail::setSubject(const QString &value)
{
    m_subject = shortString(value);
}

void TEmail::setText(const QString &value)
{
    m_text = shortString(value);
}

void TEmail::CheckMapi() const
{
    if (!m_mapi.MapiAvailable())
        throw EMapiUnavailable();
}

QString TEmail::TruncateFileName(const QString &name) const
{
    if (name.size() <= 12)
        return name;
    QString result = name;
    const qsizetype dot = result.indexOf(QLatin1Char('.'));
    if (dot + 1 > 9)
        result = result.mid(dot - 8);
    if (result.size() > 12)
        result = result.right(12);
    while (result.startsWith(QLatin1Char('.')))
        result.remove(0, 1);
    return result;
}

void TEmail::DoBeforeLogon()
{
    Q_EMIT OnBeforeLogon(this);
}
void TEmail::DoAfterLogon()
{
    Q_EMIT OnAfterLogon(this);
}
void TEmail::DoBeforeLogoff()
{
    Q_EMIT OnBeforeLogoff(this);
}
void TEmail::DoAfterLogoff()
{
    Q_EMIT OnAfterLogoff(this);
}
void TEmail::DoBeforeSaveMail()
{
    Q_EMIT OnBeforeSaveMail(this);
}
void TEmail::DoAfterSaveMail()
{
    Q_EMIT OnAfterSaveMail(this);
}
void TEmail::DoBeforeSendMail()
{
    Q_EMIT OnBeforeSendMail(this);
}
void TEmail::DoAfterSendMail()
{
    Q_EMIT OnAfterSendMail(this);
}
void TEmail::DoMapiError(int ErrorCode)
{
    Q_EMIT OnMapiError(this, ErrorCode);
}

void TEmail::readDefaultProfile()
{
    platform::Registry user(platform::RootKey::CurrentUser);
    if (!user.openKey(mapistandin::profilesKey(user), false))
        return;
    try {
        m_profile = shortString(user.readString(mapistandin::defaultProfileValue()));
    } catch (const platform::RegistryError &) {
        m_profile.clear();
    }
}

int TEmail::Logon()
{
    CheckMapi();
    if (m_session)
        return SUCCESS_SUCCESS;
    if (m_useDefProfile)
        readDefaultProfile();
    QByteArray profile = SMapi::toMapiText(m_profile);
    QByteArray password = SMapi::toMapiText(m_password);

    const MapiFunctions &f = m_mapi.functions();
    DoBeforeLogon();
    LHANDLE session = 0;
    ULONG code = f.MAPILogon(0, m_profile.isEmpty() ? nullptr : profile.data(),
                             m_password.isEmpty() ? nullptr : password.data(), m_logonFlags, 0, &session);
    if (code != SUCCESS_SUCCESS) {
        // Lets the mail system ask the user for a profile.
        session = 0;
        code = f.MAPILogon(0, nullptr, nullptr, m_logonFlags | MAPI_LOGON_UI, 0, &session);
    }
    if (code == SUCCESS_SUCCESS) {
        m_session = session;
        DoAfterLogon();
    } else {
        DoMapiError(int(code));
    }
    return int(code);
}

int TEmail::Logoff()
{
    CheckMapi();
    if (!m_session)
        return SUCCESS_SUCCESS;
    DoBeforeLogoff();
    const ULONG code = m_mapi.functions().MAPILogoff(m_session, 0, 0, 0);
    m_session = 0;
    m_resolved.clear();
    DoAfterLogoff();
    return int(code);
}

int TEmail::resolve(const QString &text, LibraryBuffer &result)
{
    const MapiFunctions &f = m_mapi.functions();
    QByteArray name = SMapi::toMapiText(text);
    lpMapiRecipDesc found = nullptr;
    ULONG code = f.MAPIResolveName(m_session, 0, name.data(), 0, 0, &found);
    if (code == MAPI_E_AMBIGUOUS_RECIPIENT || code == MAPI_E_UNKNOWN_RECIPIENT) {
        // The mail system lets the user pick the recipient.
        result.reset(found);
        found = nullptr;
        code = f.MAPIResolveName(m_session, 0, name.data(), MAPI_DIALOG, 0, &found);
    }
    result.reset(found);
    if (code == SUCCESS_SUCCESS && !found)
        code = MAPI_E_FAILURE;
    return int(code);
}

int TEmail::resolveEntry(const QString &entry, Resolved &out)
{
    LibraryBuffer resolved(m_mapi.functions());
    if (const int code = resolve(entry, resolved))
        return code;
    const QString resolvedName = SMapi::fromMapiText(resolved->lpszName);
    if (isLiteralAddress(entry, resolvedName)) {
        QString literal = entry;
        literal.remove(literal.indexOf(QLatin1Char(']')), 1);
        literal.remove(literal.indexOf(QLatin1Char('[')), 1);
        out.name = out.address = SMapi::toMapiText(literal);
        out.entryId.clear();
        out.listed = entry;
        return SUCCESS_SUCCESS;
    }
    out.name = QByteArray(resolved->lpszName ? resolved->lpszName : "");
    out.address = resolved->lpszAddress ? QByteArray(resolved->lpszAddress) : out.name;
    out.entryId = resolved->ulEIDSize > 0 && resolved->lpEntryID
                      ? QByteArray(static_cast<const char *>(resolved->lpEntryID), qsizetype(resolved->ulEIDSize))
                      : QByteArray();
    out.listed = resolvedName;
    return SUCCESS_SUCCESS;
}

int TEmail::buildRecipients(QStringList &list, ULONG recipClass, RecipientArray &out)
{
    int last = SUCCESS_SUCCESS;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString entry = list.at(i);
        if (entry.isEmpty())
            continue;
        Resolved resolved;
        if (const auto known = m_resolved.constFind(entry); known != m_resolved.cend()) {
            resolved = *known;
        } else if (const int code = resolveEntry(entry, resolved)) {
            DoMapiError(code);
            last = code;
            continue;
        }
        list[i] = resolved.listed;
        MapiRecipDesc desc{};
        desc.ulRecipClass = recipClass;
        desc.lpszName = out.keep(resolved.name);
        desc.lpszAddress = out.keep(resolved.address);
        if (!resolved.entryId.isEmpty()) {
            desc.ulEIDSize = ULONG(resolved.entryId.size());
            desc.lpEntryID = out.keep(resolved.entryId);
        }
        out.descs.push_back(desc);
    }
    return last;
}

int TEmail::SendMail()
{
    CheckMapi();
    if (recipientCount() > MaxEntries) {
        DoMapiError(MAPI_E_TOO_MANY_RECIPIENTS);
        return MAPI_E_TOO_MANY_RECIPIENTS;
    }
    if (m_attachment.size() > MaxEntries) {
        DoMapiError(MAPI_E_TOO_MANY_FILES);
        return MAPI_E_TOO_MANY_FILES;
    }
    // Attachments first: a message that cannot go opens no session and
    // leaves the recipient lists untouched.
    std::vector<QByteArray> files;
    for (const QString &path : std::as_const(m_attachment)) {
        if (CheckAttachment(path).isEmpty()) {
            DoMapiError(MAPI_E_ATTACHMENT_NOT_FOUND);
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        }
        // The mail library would open and close it, dropping our locks.
        if (lockedfiles::contains(path)) {
            DoMapiError(MAPI_E_ATTACHMENT_OPEN_FAILURE);
            return MAPI_E_ATTACHMENT_OPEN_FAILURE;
        }
        const QString name = QFileInfo(path).fileName();
        files.push_back(SMapi::toMapiText(path));
        files.push_back(SMapi::toMapiText(m_truncAttFN ? TruncateFileName(name) : name));
    }

    OwnSession own(*this);
    if (own.code() != SUCCESS_SUCCESS) {
        DoMapiError(MAPI_E_LOGON_FAILURE);
        return MAPI_E_LOGON_FAILURE;
    }

    RecipientArray recips;
    recips.descs.reserve(size_t(recipientCount()));
    buildRecipients(m_recipient, MAPI_TO, recips);
    buildRecipients(m_cc, MAPI_CC, recips);
    buildRecipients(m_bcc, MAPI_BCC, recips);

    QByteArray subject = SMapi::toMapiText(m_subject);
    QByteArray note = SMapi::toMapiText(m_longText ? *m_longText : m_text);
    std::vector<MapiFileDesc> fileDescs(files.size() / 2);
    for (size_t i = 0; i < fileDescs.size(); ++i) {
        fileDescs[i] = MapiFileDesc{};
        fileDescs[i].nPosition = 0xFFFFFFFF;
        fileDescs[i].lpszPathName = files[2 * i].data();
        fileDescs[i].lpszFileName = files[2 * i + 1].data();
    }

    MapiMessage message{};
    message.lpszSubject = m_subject.isEmpty() ? nullptr : subject.data();
    message.lpszNoteText = (m_longText || !m_text.isEmpty()) ? note.data() : nullptr;
    FLAGS flags = MAPI_DIALOG; // no recipient: the user addresses it in the mail system
    if (!recips.descs.empty()) {
        message.nRecipCount = ULONG(recips.descs.size());
        message.lpRecips = recips.descs.data();
        flags = m_showDialog ? MAPI_DIALOG : 0;
    }
    if (!fileDescs.empty()) {
        message.nFileCount = ULONG(fileDescs.size());
        message.lpFiles = fileDescs.data();
    }
    if (m_acknowledge)
        message.flFlags |= MAPI_RECEIPT_REQUESTED;
#ifndef Q_OS_WIN
    QByteArray messageType;
    if (!m_listFields.isEmpty()) {
        messageType = "IPM.Note\n" + m_listFields.join('\n');
        message.lpszMessageType = messageType.data();
    }
#endif

    DoBeforeSendMail();
    const ULONG code = m_mapi.functions().MAPISendMail(m_session, 0, &message, flags, 0);
    if (code == SUCCESS_SUCCESS)
        DoAfterSendMail();
    else
        DoMapiError(int(code));
    return int(code);
}

QString TEmail::ResolveRecipient(const QString &typed)
{
    CheckMapi();
    OwnSession own(*this);
    if (own.code() != SUCCESS_SUCCESS)
        return QString();
    Resolved resolved;
    if (const int code = resolveEntry(typed, resolved)) {
        DoMapiError(code);
        return QString();
    }
    // Kept until the message is sent or reset, or the session ends.
    m_resolved.insert(resolved.listed, resolved);
    return resolved.listed;
}

QString TEmail::CheckAttachment(const QString &path) const
{
    return !path.isEmpty() && QFileInfo(path).isFile() ? path : QString();
}

int TEmail::OpenAddressBook()
{
    CheckMapi();
    if (recipientCount() > MaxEntries) {
        DoMapiError(MAPI_E_TOO_MANY_RECIPIENTS);
        return MAPI_E_TOO_MANY_RECIPIENTS;
    }
    OwnSession own(*this);
    if (own.code() != SUCCESS_SUCCESS)
        return MAPI_E_LOGON_FAILURE; // the logon has reported its own code

    RecipientArray recips;
    recips.descs.reserve(size_t(recipientCount()));
    buildRecipients(m_recipient, MAPI_TO, recips);
    buildRecipients(m_cc, MAPI_CC, recips);
    buildRecipients(m_bcc, MAPI_BCC, recips);

    char caption[] = "";
    char labels[] = "";
    ULONG count = 0;
    lpMapiRecipDesc chosen = nullptr;
    const ULONG code
        = m_mapi.functions().MAPIAddress(m_session, 0, caption, 4, labels, ULONG(recips.descs.size()),
                                         recips.descs.empty() ? nullptr : recips.descs.data(), 0, 0, &count, &chosen);
    LibraryBuffer result(m_mapi.functions(), chosen);
    if (code != SUCCESS_SUCCESS) {
        DoMapiError(int(code));
        return int(code);
    }
    m_recipient.clear();
    m_cc.clear();
    m_bcc.clear();
    for (ULONG i = 0; chosen && i < count; ++i) {
        const QString name = SMapi::fromMapiText(chosen[i].lpszName);
        switch (chosen[i].ulRecipClass) {
        case MAPI_TO:
            m_recipient.append(name);
            break;
        case MAPI_CC:
            m_cc.append(name);
            break;
        case MAPI_BCC:
            m_bcc.append(name);
            break;
        default:
            break;
        }
    }
    return SUCCESS_SUCCESS;
}

void TEmail::Reset()
{
    m_resolved.clear();
    m_acknowledge = false;
    m_attachment.clear();
    m_bcc.clear();
    m_cc.clear();
    m_recipient.clear();
    m_subject.clear();
    m_listFields.clear();
    SetLongText(QString());
}

int TEmail::SetLongText(const QString &text)
{
    m_longText.reset();
    m_text.clear();
    if (text.isNull())
        return 0;
    m_longText = text;
    return int(text.size());
}
