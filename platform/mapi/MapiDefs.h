#pragma once
// Simple MAPI as published: its entry points (the program binds ten), their
// structures, flags and result codes. Written here from the published
// interface; on Linux the base types are defined locally with the sizes
// they have on Windows (ULONG is 32 bits, handles are pointer-sized).
#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#define MAPI_CALL WINAPI
#else
#define MAPI_CALL
typedef uint32_t ULONG;
typedef ULONG *LPULONG;
typedef uintptr_t ULONG_PTR;
typedef char *LPSTR;
typedef void *LPVOID;
#endif

#if defined(QUILLMAR_MAPI_BUILD) && !defined(_WIN32)
#define MAPI_EXPORT __attribute__((visibility("default")))
#else
#define MAPI_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef ULONG FLAGS;
typedef ULONG_PTR LHANDLE, *LPLHANDLE;

typedef struct
{
    ULONG ulReserved;
    ULONG ulRecipClass;
    LPSTR lpszName;
    LPSTR lpszAddress;
    ULONG ulEIDSize;
    LPVOID lpEntryID;
} MapiRecipDesc, *lpMapiRecipDesc;

typedef struct
{
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;
    LPSTR lpszPathName;
    LPSTR lpszFileName;
    LPVOID lpFileType;
} MapiFileDesc, *lpMapiFileDesc;

typedef struct
{
    ULONG ulReserved;
    LPSTR lpszSubject;
    LPSTR lpszNoteText;
    LPSTR lpszMessageType;
    LPSTR lpszDateReceived;
    LPSTR lpszConversationID;
    FLAGS flFlags;
    lpMapiRecipDesc lpOriginator;
    ULONG nRecipCount;
    lpMapiRecipDesc lpRecips;
    ULONG nFileCount;
    lpMapiFileDesc lpFiles;
} MapiMessage, *lpMapiMessage;

// Recipient classes
#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

// Message flags
#define MAPI_UNREAD 0x00000001
#define MAPI_RECEIPT_REQUESTED 0x00000002
#define MAPI_SENT 0x00000004

// Call flags
#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_DIALOG 0x00000008
#define MAPI_UNREAD_ONLY 0x00000020
#define MAPI_EXTENDED 0x00000020
#define MAPI_ENVELOPE_ONLY 0x00000040
#define MAPI_PEEK 0x00000080
#define MAPI_GUARANTEE_FIFO 0x00000100
#define MAPI_BODY_AS_FILE 0x00000200
#define MAPI_AB_NOMODIFY 0x00000400
#define MAPI_SUPPRESS_ATTACH 0x00000800
#define MAPI_FORCE_DOWNLOAD 0x00001000
#define MAPI_LONG_MSGID 0x00004000
#define MAPI_PASSWORD_UI 0x00020000

// Attachment flags
#define MAPI_OLE 0x00000001
#define MAPI_OLE_STATIC 0x00000002

// Result codes
#define SUCCESS_SUCCESS 0
#define MAPI_USER_ABORT 1
#define MAPI_E_USER_ABORT MAPI_USER_ABORT
#define MAPI_E_FAILURE 2
#define MAPI_E_LOGON_FAILURE 3
#define MAPI_E_LOGIN_FAILURE MAPI_E_LOGON_FAILURE
#define MAPI_E_DISK_FULL 4
#define MAPI_E_INSUFFICIENT_MEMORY 5
#define MAPI_E_ACCESS_DENIED 6
#define MAPI_E_TOO_MANY_SESSIONS 8
#define MAPI_E_TOO_MANY_FILES 9
#define MAPI_E_TOO_MANY_RECIPIENTS 10
#define MAPI_E_ATTACHMENT_NOT_FOUND 11
#define MAPI_E_ATTACHMENT_OPEN_FAILURE 12
#define MAPI_E_ATTACHMENT_WRITE_FAILURE 13
#define MAPI_E_UNKNOWN_RECIPIENT 14
#define MAPI_E_BAD_RECIPTYPE 15
#define MAPI_E_NO_MESSAGES 16
#define MAPI_E_INVALID_MESSAGE 17
#define MAPI_E_TEXT_TOO_LARGE 18
#define MAPI_E_INVALID_SESSION 19
#define MAPI_E_TYPE_NOT_SUPPORTED 20
#define MAPI_E_AMBIGUOUS_RECIPIENT 21
#define MAPI_E_AMBIG_RECIP MAPI_E_AMBIGUOUS_RECIPIENT
#define MAPI_E_MESSAGE_IN_USE 22
#define MAPI_E_NETWORK_FAILURE 23
#define MAPI_E_INVALID_EDITFIELDS 24
#define MAPI_E_INVALID_RECIPS 25
#define MAPI_E_NOT_SUPPORTED 26

typedef ULONG(MAPI_CALL *LPMAPILOGON)(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR lpszPassword, FLAGS flFlags,
                                      ULONG ulReserved, LPLHANDLE lplhSession);
typedef ULONG(MAPI_CALL *LPMAPILOGOFF)(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags, ULONG ulReserved);
typedef ULONG(MAPI_CALL *LPMAPISENDMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                                         ULONG ulReserved);
typedef ULONG(MAPI_CALL *LPMAPIFINDNEXT)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageType,
                                         LPSTR lpszSeedMessageID, FLAGS flFlags, ULONG ulReserved, LPSTR lpszMessageID);
typedef ULONG(MAPI_CALL *LPMAPIREADMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageID, FLAGS flFlags,
                                         ULONG ulReserved, lpMapiMessage *lppMessage);
typedef ULONG(MAPI_CALL *LPMAPISAVEMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                                         ULONG ulReserved, LPSTR lpszMessageID);
typedef ULONG(MAPI_CALL *LPMAPIDELETEMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageID, FLAGS flFlags,
                                           ULONG ulReserved);
typedef ULONG(MAPI_CALL *LPMAPIFREEBUFFER)(LPVOID pv);
typedef ULONG(MAPI_CALL *LPMAPIADDRESS)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszCaption, ULONG nEditFields,
                                        LPSTR lpszLabels, ULONG nRecips, lpMapiRecipDesc lpRecips, FLAGS flFlags,
                                        ULONG ulReserved, LPULONG lpnNewRecips, lpMapiRecipDesc *lppNewRecips);
typedef ULONG(MAPI_CALL *LPMAPIDETAILS)(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiRecipDesc lpRecip, FLAGS flFlags,
                                        ULONG ulReserved);
typedef ULONG(MAPI_CALL *LPMAPIRESOLVENAME)(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszName, FLAGS flFlags,
                                            ULONG ulReserved, lpMapiRecipDesc *lppRecip);

MAPI_EXPORT ULONG MAPI_CALL MAPILogon(ULONG_PTR ulUIParam, LPSTR lpszProfileName, LPSTR lpszPassword, FLAGS flFlags,
                                      ULONG ulReserved, LPLHANDLE lplhSession);
MAPI_EXPORT ULONG MAPI_CALL MAPILogoff(LHANDLE lhSession, ULONG_PTR ulUIParam, FLAGS flFlags, ULONG ulReserved);
MAPI_EXPORT ULONG MAPI_CALL MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                                         ULONG ulReserved);
MAPI_EXPORT ULONG MAPI_CALL MAPIFindNext(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageType,
                                         LPSTR lpszSeedMessageID, FLAGS flFlags, ULONG ulReserved, LPSTR lpszMessageID);
MAPI_EXPORT ULONG MAPI_CALL MAPIReadMail(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageID, FLAGS flFlags,
                                         ULONG ulReserved, lpMapiMessage *lppMessage);
MAPI_EXPORT ULONG MAPI_CALL MAPISaveMail(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiMessage lpMessage, FLAGS flFlags,
                                         ULONG ulReserved, LPSTR lpszMessageID);
MAPI_EXPORT ULONG MAPI_CALL MAPIDeleteMail(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszMessageID, FLAGS flFlags,
                                           ULONG ulReserved);
MAPI_EXPORT ULONG MAPI_CALL MAPIFreeBuffer(LPVOID pv);
MAPI_EXPORT ULONG MAPI_CALL MAPIAddress(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszCaption, ULONG nEditFields,
                                        LPSTR lpszLabels, ULONG nRecips, lpMapiRecipDesc lpRecips, FLAGS flFlags,
                                        ULONG ulReserved, LPULONG lpnNewRecips, lpMapiRecipDesc *lppNewRecips);
MAPI_EXPORT ULONG MAPI_CALL MAPIDetails(LHANDLE lhSession, ULONG_PTR ulUIParam, lpMapiRecipDesc lpRecip, FLAGS flFlags,
                                        ULONG ulReserved);
MAPI_EXPORT ULONG MAPI_CALL MAPIResolveName(LHANDLE lhSession, ULONG_PTR ulUIParam, LPSTR lpszName, FLAGS flFlags,
                                            ULONG ulReserved, lpMapiRecipDesc *lppRecip);

#ifdef __cplusplus
}
#endif
