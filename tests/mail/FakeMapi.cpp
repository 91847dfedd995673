#include "FakeMapi.h"

#include <cstdlib>
#include <cstring>

namespace {

FakeMapiState g_state;

OptText copy(const char *text)
{
    return text ? OptText(text) : std::nullopt;
}

FakeRecip copy(const MapiRecipDesc &r)
{
    FakeRecip out;
    out.reserved = r.ulReserved;
    out.recipClass = r.ulRecipClass;
    out.name = copy(r.lpszName);
    out.address = copy(r.lpszAddress);
    out.eidSize = r.ulEIDSize;
    if (r.lpEntryID)
        out.entryId = std::string(static_cast<const char *>(r.lpEntryID), r.ulEIDSize);
    return out;
}

char *place(char *&cursor, const std::string &text)
{
    char *start = cursor;
    std::memcpy(cursor, text.c_str(), text.size() + 1);
    cursor += text.size() + 1;
    return start;
}

lpMapiRecipDesc allocate(const std::vector<FakeRecip> &recips)
{
    size_t size = sizeof(MapiRecipDesc) * recips.size() + 1;
    for (const FakeRecip &r : recips)
        size += r.name.value_or("").size() + r.address.value_or("").size() + r.entryId.value_or("").size() + 3;
    auto *descs = static_cast<MapiRecipDesc *>(std::calloc(1, size));
    char *cursor = reinterpret_cast<char *>(descs + recips.size());
    for (size_t i = 0; i < recips.size(); ++i) {
        descs[i].ulRecipClass = recips[i].recipClass;
        descs[i].lpszName = recips[i].name ? place(cursor, *recips[i].name) : nullptr;
        descs[i].lpszAddress = recips[i].address ? place(cursor, *recips[i].address) : nullptr;
        if (recips[i].entryId) {
            descs[i].ulEIDSize = ULONG(recips[i].entryId->size());
            descs[i].lpEntryID = place(cursor, *recips[i].entryId);
        }
    }
    g_state.liveBuffers.insert(descs);
    return descs;
}

FakeCall &record(const char *function, LHANDLE session, ULONG_PTR ui, FLAGS flags, ULONG reserved)
{
    FakeCall call;
    call.function = function;
    call.session = session;
    call.uiParam = ui;
    call.flags = flags;
    call.reserved = reserved;
    g_state.calls.push_back(call);
    return g_state.calls.back();
}

} // namespace

extern "C" {

FakeMapiState *FakeMapi_state()
{
    return &g_state;
}

ULONG MAPI_CALL MAPILogon(ULONG_PTR ui, LPSTR profile, LPSTR password, FLAGS flags, ULONG reserved, LPLHANDLE session)
{
    FakeCall &c = record("MAPILogon", 0, ui, flags, reserved);
    c.text1 = copy(profile);
    c.text2 = copy(password);
    ULONG result = 0;
    if (!g_state.logonResults.empty()) {
        result = g_state.logonResults.front();
        g_state.logonResults.erase(g_state.logonResults.begin());
    }
    *session = result == 0 ? g_state.nextSession++ : 0;
    return result;
}

ULONG MAPI_CALL MAPILogoff(LHANDLE session, ULONG_PTR ui, FLAGS flags, ULONG reserved)
{
    record("MAPILogoff", session, ui, flags, reserved);
    return g_state.logoffResult;
}

ULONG MAPI_CALL MAPISendMail(LHANDLE session, ULONG_PTR ui, lpMapiMessage m, FLAGS flags, ULONG reserved)
{
    FakeCall &c = record("MAPISendMail", session, ui, flags, reserved);
    c.reserved = reserved;
    c.subject = copy(m->lpszSubject);
    c.noteText = copy(m->lpszNoteText);
    c.messageType = copy(m->lpszMessageType);
    c.dateReceived = copy(m->lpszDateReceived);
    c.conversationId = copy(m->lpszConversationID);
    c.messageFlags = m->flFlags;
    c.originatorNull = m->lpOriginator == nullptr;
    c.recipCount = m->nRecipCount;
    c.recipsNull = m->lpRecips == nullptr;
    for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i)
        c.recips.push_back(copy(m->lpRecips[i]));
    c.fileCount = m->nFileCount;
    c.filesNull = m->lpFiles == nullptr;
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i) {
        const MapiFileDesc &f = m->lpFiles[i];
        c.files.push_back({f.ulReserved, f.flFlags, f.nPosition, copy(f.lpszPathName), copy(f.lpszFileName),
                           f.lpFileType == nullptr});
    }
    return g_state.sendResult;
}

ULONG MAPI_CALL MAPIResolveName(LHANDLE session, ULONG_PTR ui, LPSTR name, FLAGS flags, ULONG reserved,
                                lpMapiRecipDesc *result)
{
    FakeCall &c = record("MAPIResolveName", session, ui, flags, reserved);
    c.text1 = copy(name);
    const std::string typed = name ? name : "";
    const FakeResolution r
        = g_state.resolve ? g_state.resolve(typed, flags)
                          : FakeResolution{SUCCESS_SUCCESS, typed + " (resolved)", "SMTP:" + typed, "EID:" + typed};
    *result = nullptr;
    if (r.code == SUCCESS_SUCCESS)
        *result = allocate({{0, MAPI_TO, r.name, r.address, ULONG(r.entryId.size()),
                             r.entryId.empty() ? std::nullopt : OptText(r.entryId)}});
    return r.code;
}

ULONG MAPI_CALL MAPIAddress(LHANDLE session, ULONG_PTR ui, LPSTR caption, ULONG editFields, LPSTR labels, ULONG nRecips,
                            lpMapiRecipDesc recips, FLAGS flags, ULONG reserved, LPULONG newCount,
                            lpMapiRecipDesc *newRecips)
{
    FakeCall &c = record("MAPIAddress", session, ui, flags, reserved);
    c.text1 = copy(caption);
    c.text2 = copy(labels);
    c.editFields = editFields;
    c.recipCount = nRecips;
    c.recipsNull = recips == nullptr;
    for (ULONG i = 0; recips && i < nRecips; ++i)
        c.recips.push_back(copy(recips[i]));
    *newCount = 0;
    *newRecips = nullptr;
    if (g_state.addressResult != SUCCESS_SUCCESS)
        return g_state.addressResult;
    *newCount = ULONG(g_state.addressReturn.size());
    *newRecips = allocate(g_state.addressReturn);
    return SUCCESS_SUCCESS;
}

ULONG MAPI_CALL MAPIFreeBuffer(LPVOID pv)
{
    record("MAPIFreeBuffer", 0, 0, 0, 0);
    if (g_state.liveBuffers.erase(pv) == 0) {
        ++g_state.badFrees;
        return MAPI_E_FAILURE;
    }
    std::free(pv);
    return SUCCESS_SUCCESS;
}

ULONG MAPI_CALL MAPIFindNext(LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR)
{
    record("MAPIFindNext", 0, 0, 0, 0);
    return MAPI_E_NOT_SUPPORTED;
}

ULONG MAPI_CALL MAPIReadMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage *)
{
    record("MAPIReadMail", 0, 0, 0, 0);
    return MAPI_E_NOT_SUPPORTED;
}

ULONG MAPI_CALL MAPIDeleteMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG)
{
    record("MAPIDeleteMail", 0, 0, 0, 0);
    return MAPI_E_NOT_SUPPORTED;
}

#ifndef FAKE_MAPI_WITHOUT_SAVEMAIL
ULONG MAPI_CALL MAPISaveMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR)
{
    record("MAPISaveMail", 0, 0, 0, 0);
    return MAPI_E_NOT_SUPPORTED;
}
#endif

} // extern "C"
