// The exported Simple MAPI functions of the stand-in library. Nothing here
// shows a window: where a caller asks for one, the answer is that of a user
// who cancelled it, except MAPISendMail, which files the message in Drafts
// for the user to finish in a mail client.
#include "platform/mapi/MapiDefs.h"

#include "platform/mapi/Contacts.h"
#include "platform/mapi/Maildir.h"
#include "platform/mapi/MapiBuffers.h"
#include "platform/mapi/MapiProfile.h"
#include "platform/mapi/MapiText.h"
#include "platform/mapi/MessageBuilder.h"
#include "platform/mapi/Recipients.h"

#include <new>

using namespace mapistandin;

namespace {

template<typename F> ULONG guarded(F &&body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return MAPI_E_INSUFFICIENT_MEMORY;
    } catch (...) {
        return MAPI_E_FAILURE;
    }
}

// Session 0 logs on to the default profile for the one call.
ULONG profileFor(LHANDLE session, FLAGS flags, Profile *out)
{
    if (session == 0)
        return openProfile(QString(), flags & MAPI_LOGON_UI, out);
    const std::optional<Profile> p = sessionProfile(session);
    if (!p)
        return MAPI_E_INVALID_SESSION;
    *out = *p;
    return SUCCESS_SUCCESS;
}

Resolution resolveFor(const Profile &profile, const QString &name, FLAGS flags)
{
    Resolution r = resolveName(name, [root = profile.storePath] { return contactsOf(root); });
    const bool unresolved = r.code == MAPI_E_UNKNOWN_RECIPIENT || r.code == MAPI_E_AMBIGUOUS_RECIPIENT;
    // The dialog in which the user would pick the recipient, cancelled.
    if (unresolved && (flags & MAPI_DIALOG))
        r.code = MAPI_E_USER_ABORT;
    return r;
}

// The address a descriptor names: its address, else its entry identifier,
// else its name resolved.
Resolution recipientOf(const MapiRecipDesc &desc, const Profile &profile, FLAGS flags)
{
    Resolution r;
    const QString given = textFrom(desc.lpszAddress).trimmed();
    if (!given.isEmpty()) {
        const std::optional<QString> address = smtpAddress(given);
        if (!address)
            return r;
        r = {SUCCESS_SUCCESS, textFrom(desc.lpszName), *address};
    } else if (desc.ulEIDSize > 0 && desc.lpEntryID) {
        const std::optional<QString> address
            = addressFromEntryId(QByteArray(static_cast<const char *>(desc.lpEntryID), int(desc.ulEIDSize)));
        if (!address)
            return r;
        r = {SUCCESS_SUCCESS, textFrom(desc.lpszName), *address};
    } else {
        r = resolveFor(profile, textFrom(desc.lpszName), flags);
        if (r.code != SUCCESS_SUCCESS)
            return r;
    }
    // An address no header can hold is no recipient.
    if (!isValidAddress(r.address))
        r.code = MAPI_E_UNKNOWN_RECIPIENT;
    return r;
}

RecipientOut descriptorOf(ULONG recipClass, const Resolution &r)
{
    const QString name = r.name.trimmed().isEmpty() ? r.address : r.name;
    return {recipClass, name.toUtf8(), (QStringLiteral("SMTP:") + r.address).toUtf8(), entryIdFor(r.address)};
}

ULONG sendMail(LHANDLE session, const MapiMessage *message, FLAGS flags)
{
    if (!message)
        return MAPI_E_FAILURE;
    Profile profile;
    if (const ULONG code = profileFor(session, flags, &profile))
        return code;
    if (message->nRecipCount > 0 && !message->lpRecips)
        return MAPI_E_INVALID_RECIPS;
    if (message->nFileCount > 0 && !message->lpFiles)
        return MAPI_E_ATTACHMENT_NOT_FOUND;

    OutgoingMessage out;
    out.from = {profile.senderName, profile.senderAddress};
    for (ULONG i = 0; i < message->nRecipCount; ++i) {
        const MapiRecipDesc &desc = message->lpRecips[i];
        QVector<Mailbox> *list = desc.ulRecipClass == MAPI_TO    ? &out.to
                                 : desc.ulRecipClass == MAPI_CC  ? &out.cc
                                 : desc.ulRecipClass == MAPI_BCC ? &out.bcc
                                                                 : nullptr;
        if (!list)
            return MAPI_E_BAD_RECIPTYPE;
        const Resolution r = recipientOf(desc, profile, flags);
        if (r.code != SUCCESS_SUCCESS)
            return r.code;
        list->append({displayNameFor(r.name, r.address), r.address});
    }
    const bool dialog = flags & MAPI_DIALOG;
    if (!dialog && out.to.isEmpty() && out.cc.isEmpty() && out.bcc.isEmpty())
        return MAPI_E_INVALID_RECIPS;

    out.subject = textFrom(message->lpszSubject);
    out.body = textFrom(message->lpszNoteText);
    out.receiptRequested = message->flFlags & MAPI_RECEIPT_REQUESTED;
    // A list's own fields ride on the message type: its first line is the
    // type, which the local store ignores, and each further line a field.
    out.extraFields = extraFieldsOf(message->lpszMessageType);
    for (ULONG i = 0; i < message->nFileCount; ++i) {
        const MapiFileDesc &file = message->lpFiles[i];
        // The path's bytes name the file, whatever their encoding.
        const QByteArray path = file.lpszPathName ? QByteArray(file.lpszPathName) : QByteArray();
        if (path.isEmpty())
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        QString name = textFrom(file.lpszFileName).trimmed();
        if (name.isEmpty())
            name = textFromBytes(path.mid(path.lastIndexOf('/') + 1));
        out.attachments.append({path, name});
    }

    std::unique_ptr<PreparedMessage> prepared;
    if (const ULONG code = PreparedMessage::prepare(out, &prepared))
        return code;
    return deliverToFolder(profile.storePath, dialog ? QStringLiteral(".Drafts") : QStringLiteral(".Outbox"),
                           [&](int fd) { return prepared->writeTo(fd); });
}

} // namespace

extern "C" {

ULONG MAPI_CALL MAPILogon(ULONG_PTR, LPSTR lpszProfileName, LPSTR, FLAGS flFlags, ULONG, LPLHANDLE lplhSession)
{
    return guarded([&]() -> ULONG {
        if (!lplhSession)
            return MAPI_E_FAILURE;
        *lplhSession = 0;
        // The local store has no password to check.
        Profile profile;
        if (const ULONG code = openProfile(textFrom(lpszProfileName), flFlags, &profile))
            return code;
        *lplhSession = openSession(profile);
        return SUCCESS_SUCCESS;
    });
}

ULONG MAPI_CALL MAPILogoff(LHANDLE lhSession, ULONG_PTR, FLAGS, ULONG)
{
    return guarded([&]() -> ULONG { return closeSession(lhSession) ? SUCCESS_SUCCESS : MAPI_E_INVALID_SESSION; });
}

ULONG MAPI_CALL MAPISendMail(LHANDLE lhSession, ULONG_PTR, lpMapiMessage lpMessage, FLAGS flFlags, ULONG)
{
    return guarded([&] { return sendMail(lhSession, lpMessage, flFlags); });
}

ULONG MAPI_CALL MAPIResolveName(LHANDLE lhSession, ULONG_PTR, LPSTR lpszName, FLAGS flFlags, ULONG,
                                lpMapiRecipDesc *lppRecip)
{
    return guarded([&]() -> ULONG {
        if (!lppRecip)
            return MAPI_E_FAILURE;
        *lppRecip = nullptr;
        Profile profile;
        if (const ULONG code = profileFor(lhSession, flFlags, &profile))
            return code;
        const Resolution r = resolveFor(profile, textFrom(lpszName), flFlags);
        if (r.code != SUCCESS_SUCCESS)
            return r.code;
        *lppRecip = allocateRecipients({descriptorOf(MAPI_TO, r)});
        return SUCCESS_SUCCESS;
    });
}

// The address book is a dialog: its user cancels it.
ULONG MAPI_CALL MAPIAddress(LHANDLE lhSession, ULONG_PTR, LPSTR, ULONG nEditFields, LPSTR, ULONG nRecips,
                            lpMapiRecipDesc lpRecips, FLAGS flFlags, ULONG, LPULONG lpnNewRecips,
                            lpMapiRecipDesc *lppNewRecips)
{
    return guarded([&]() -> ULONG {
        if (!lpnNewRecips || !lppNewRecips)
            return MAPI_E_FAILURE;
        *lpnNewRecips = 0;
        *lppNewRecips = nullptr;
        if (nEditFields > 4)
            return MAPI_E_INVALID_EDITFIELDS;
        if (nRecips > 0 && !lpRecips)
            return MAPI_E_INVALID_RECIPS;
        Profile profile;
        if (const ULONG code = profileFor(lhSession, flFlags, &profile))
            return code;
        return MAPI_E_USER_ABORT;
    });
}

// So is the details dialog of a recipient.
ULONG MAPI_CALL MAPIDetails(LHANDLE lhSession, ULONG_PTR, lpMapiRecipDesc lpRecip, FLAGS flFlags, ULONG)
{
    return guarded([&]() -> ULONG {
        if (!lpRecip)
            return MAPI_E_UNKNOWN_RECIPIENT;
        Profile profile;
        if (const ULONG code = profileFor(lhSession, flFlags, &profile))
            return code;
        return MAPI_E_USER_ABORT;
    });
}

ULONG MAPI_CALL MAPIFreeBuffer(LPVOID pv)
{
    return guarded([&]() -> ULONG { return freeBuffer(pv) ? SUCCESS_SUCCESS : MAPI_E_FAILURE; });
}

// Reading, saving and deleting stored mail belong to a mail client.
ULONG MAPI_CALL MAPIFindNext(LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR)
{
    return MAPI_E_NOT_SUPPORTED;
}

ULONG MAPI_CALL MAPIReadMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage *)
{
    return MAPI_E_NOT_SUPPORTED;
}

ULONG MAPI_CALL MAPISaveMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR)
{
    return MAPI_E_NOT_SUPPORTED;
}

ULONG MAPI_CALL MAPIDeleteMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG)
{
    return MAPI_E_NOT_SUPPORTED;
}

} // extern "C"
