#pragma once
// A Simple MAPI library that records every call with deep copies of what it
// was given and answers from a script, so tests see exactly what the mail
// component passes. Reached through the exported FakeMapi_state().
#include "platform/mapi/MapiDefs.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

using OptText = std::optional<std::string>;

struct FakeRecip
{
    ULONG reserved = 0;
    ULONG recipClass = 0;
    OptText name;
    OptText address;
    ULONG eidSize = 0;
    OptText entryId;
};

struct FakeFile
{
    ULONG reserved = 0;
    ULONG flags = 0;
    ULONG position = 0;
    OptText path;
    OptText fileName;
    bool fileTypeNull = true;
};

struct FakeCall
{
    std::string function;
    LHANDLE session = 0;
    ULONG_PTR uiParam = 0;
    FLAGS flags = 0;
    ULONG reserved = 0;
    OptText text1; // profile, name to resolve, or caption
    OptText text2; // password or labels
    ULONG editFields = 0;
    // MAPISendMail's message, MAPIAddress's recipients.
    OptText subject, noteText, messageType, dateReceived, conversationId;
    FLAGS messageFlags = 0;
    bool originatorNull = true;
    ULONG recipCount = 0;
    bool recipsNull = true;
    std::vector<FakeRecip> recips;
    ULONG fileCount = 0;
    bool filesNull = true;
    std::vector<FakeFile> files;
};

struct FakeResolution
{
    ULONG code = SUCCESS_SUCCESS;
    std::string name;
    OptText address;
    std::string entryId;
};

struct FakeMapiState
{
    // Script: logon results are used up in order, then 0.
    std::vector<ULONG> logonResults;
    ULONG logoffResult = 0;
    ULONG sendResult = 0;
    ULONG addressResult = 0;
    std::vector<FakeRecip> addressReturn;
    // Default: every name resolves to "<name> (resolved)", "SMTP:<name>".
    std::function<FakeResolution(const std::string &name, FLAGS flags)> resolve;

    // Record
    std::vector<FakeCall> calls;
    std::set<void *> liveBuffers;
    int badFrees = 0;
    LHANDLE nextSession = 100;

    void reset() { *this = FakeMapiState(); }
    std::vector<FakeCall> callsOf(const std::string &function) const
    {
        std::vector<FakeCall> out;
        for (const FakeCall &c : calls) {
            if (c.function == function)
                out.push_back(c);
        }
        return out;
    }
    std::vector<std::string> functionNames() const
    {
        std::vector<std::string> out;
        for (const FakeCall &c : calls)
            out.push_back(c.function);
        return out;
    }
};

extern "C" MAPI_EXPORT FakeMapiState *FakeMapi_state();
