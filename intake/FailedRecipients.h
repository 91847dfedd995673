#pragma once
// Where mail systems write the failed recipient in a notice that carries no
// standard report: the phrases that introduce the recipient lines, the lines
// that open with the address, the sentences that name it. Only the notice's
// own text is read, never the message it returns.
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class HeaderFields;

// Whether an address may be counted: the caller leaves out the notice's
// own addresses, the mail system's and the owner's.
using RecipientTest = std::function<bool(const QString &address)>;

// A notice's text lines (its body, then any text part beside it), with
// what several rules ask of them worked out once, when first asked.
class NoticeText
{
public:
    explicit NoticeText(const QStringList &lines);

    const QStringList &lines() const { return m_lines; }
    // The line in lower case, as QString::toLower gives it.
    const QString &lower(qsizetype i) const;
    // The lines of the text before the returned message starts.
    qsizetype noticeLength() const;

private:
    qsizetype findNoticeEnd() const;

    QStringList m_lines;
    // Each line lowered when first asked for: a returned message after the
    // notice may be large, and is never read in lower case.
    mutable QStringList m_lower;
    mutable std::vector<bool> m_lowered;
    mutable qsizetype m_length = -1;
};

// The failed addresses the text names, lower-cased, each once, in order;
// empty when no pattern finds one that passes the test.
QStringList failedRecipients(const NoticeText &text, const RecipientTest &keep);

// The recipients (To, then Cc) of the returned message's headers, or of a
// header block quoted in the text after the notice when it attaches none.
QStringList returnedRecipients(const HeaderFields &returned, const NoticeText &text, const RecipientTest &keep);

// Whether the notice's text says delivery is still being tried.
bool saysDelayed(const QString &subject, const NoticeText &text);

// Every address in the text, lower-cased, in order.
QStringList addressesIn(QStringView text);
