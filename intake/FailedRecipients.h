#pragma once
// Where mail systems write the failed recipient in a notice that carries no
// standard report: the phrases that introduce the recipient lines, the lines
// that open with the address, the sentences that name it. Only the notice's
// own text is read, never the message it returns.
#include <QString>
#include <QStringList>

#include <functional>

class HeaderFields;

// Whether an address may be counted: the caller leaves out the notice's
// own addresses, the mail system's and the owner's.
using RecipientTest = std::function<bool(const QString &address)>;

// The failed addresses the text names, lower-cased, each once, in order;
// empty when no pattern finds one that passes the test. `lines` are the
// notice's text lines (its body, then any text part beside it).
QStringList failedRecipients(const QStringList &lines, const RecipientTest &keep);

// The lines of the text before the returned message starts.
qsizetype noticeLength(const QStringList &lines);

// The recipients (To, then Cc) of the returned message's headers, or of a
// header block quoted in the text after the notice when it attaches none.
QStringList returnedRecipients(const HeaderFields &returned, const QStringList &lines, const RecipientTest &keep);

// Whether the notice's text says delivery is still being tried.
bool saysDelayed(const QString &subject, const QStringList &lines);

// Every address in the text, lower-cased, in order.
QStringList addressesIn(QStringView text);
