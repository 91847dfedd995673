#pragma once
#include <QString>

struct Settings;
struct RuleLists;

// Whether a text is acceptable as an address for the list: built-in rules
// plus the user's exception pieces, all skipped when the check is off.
bool validemailaddress(const QString &address, const Settings &settings, const RuleLists &lists);

// Nothing but blanks and control characters before the first '@': such an
// address names no one, and the list never takes it, whatever the checking.
bool emptyLocalPart(const QString &address);
