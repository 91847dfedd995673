#include "intake/FailedRecipients.h"

#include "core/AsciiCase.h"
#include "intake/HeaderFields.h"
#include "intake/PhraseSet.h"

#include <QRegularExpression>
#include <QSet>

namespace {

// Introduce the recipient lines that follow them, lower-case.
const PhraseSet &introducers()
{
    static const PhraseSet phrases{
        u"following address",
        u"following recipient",
        u"following destination",
        u"following user",
        u"list of recipients",
        u"recipients or groups",
        u"failed recipient",
        u"failed addresses",
        u"could not be reached",
        u"did not reach the following",
        u"was not delivered to:",
        u"not delivered to the following",
        u"could not be delivered to:",
        u"undeliverable to the following",
        u"permanent fatal errors",
        u"intended recipient",
        u"invalid recipient",
        u"unknown recipient",
        u"delivery userid:",
        u"error-for:",
        u"addressed to email address",
        u"adresses suivantes",
        u"destinataires suivants",
        u"folgende empf",
        u"folgenden empf",
        u"folgende adresse",
        u"siguientes destinatarios",
        u"destinatarios siguientes",
        u"seguintes destinat",
        u"destinatari seguenti",
        u"seguenti destinatari",
        u"следующим адресат",
        u"следующих адресат",
        u"следующим получател",
        u"адресатам:",
        u"получателям:",
        u"zugestellt werden an",
        u"以下のアドレス",
        u"以下の宛先",
        u"宛先:",
    };
    return phrases;
}

// Failure words that sit beside the failed address on one line, lower-case.
const PhraseSet &reasons()
{
    static const PhraseSet phrases{
        u"user unknown",
        u"unknown user",
        u"no such user",
        u"unknown recipient",
        u"recipient unknown",
        u"does not exist",
        u"doesn't exist",
        u"not exist",
        u"no mailbox",
        u"mailbox unavailable",
        u"mailbox not found",
        u"mailbox is full",
        u"mailbox full",
        u"quota exceeded",
        u"over quota",
        u"user not found",
        u"address rejected",
        u"recipient rejected",
        u"invalid recipient",
        u"invalid address",
        u"not listed",
        u"disabled",
        u"unknown host",
        u"host unknown",
        u"unrouteable",
        u"undeliverable",
        u"delivery failed",
        u"could not be delivered",
        u"not delivered",
        u"account",
        u"addressee unknown",
        u"invalid",
        u"quota",
        u"fatal",
        u"permanent",
    };
    return phrases;
}

const QRegularExpression &addressPattern()
{
    static const QRegularExpression re(QStringLiteral(R"([\w.!#$%&*+/=?^`{|}~-]+@[\w-]+(?:\.[\w-]+)+)"),
                                       QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

QString clean(QString address)
{
    while (address.startsWith(QLatin1Char('.')))
        address.remove(0, 1);
    address = lowerAZ(address);
    // Exchange's "SMTP=addr" and an X.400 attribute before it.
    const qsizetype smtp = address.lastIndexOf(QLatin1String("smtp="), address.indexOf(QLatin1Char('@')));
    if (smtp >= 0)
        address.remove(0, smtp + 5);
    return address;
}

// The address a line opens with (after blanks, quotes, '>' and '<'), and
// where the text after it starts; empty when the line opens otherwise.
QString leadingAddress(QStringView line, qsizetype *after = nullptr)
{
    qsizetype i = 0;
    while (i < line.size()
           && (line.at(i).isSpace() || line.at(i) == QLatin1Char('>') || line.at(i) == QLatin1Char('<')
               || line.at(i) == QLatin1Char('"') || line.at(i) == QLatin1Char('\'') || line.at(i) == QLatin1Char('*')))
        ++i;
    const auto m = addressPattern().match(line, i, QRegularExpression::NormalMatch,
                                          QRegularExpression::AnchorAtOffsetMatchOption);
    if (!m.hasMatch())
        return {};
    if (after)
        *after = m.capturedEnd();
    return clean(m.captured());
}

bool isDivider(QStringView trimmed)
{
    return trimmed.startsWith(u"---") || trimmed.startsWith(u"===") || trimmed.startsWith(u"|---")
           || trimmed.startsWith(u"***") || trimmed.startsWith(u"___");
}

class Found
{
public:
    explicit Found(const RecipientTest &keep)
        : m_keep(keep)
    {
    }
    void add(const QString &address)
    {
        if (!address.isEmpty() && !m_seen.contains(address) && m_keep(address)) {
            m_seen.insert(address);
            m_list << address;
        }
    }
    const QStringList &list() const { return m_list; }

private:
    const RecipientTest &m_keep;
    QSet<QString> m_seen;
    QStringList m_list;
};

// X-Failed-Recipients' own words in the text, and the recipient lines after
// an introducing phrase: each line's first address, until the next section.
void afterIntroducers(const NoticeText &text, qsizetype end, Found &found)
{
    constexpr qsizetype Window = 12;
    const QStringList &lines = text.lines();
    for (qsizetype i = 0; i < end; ++i) {
        if (!introducers().foundIn(text.lower(i)))
            continue;
        // The rest of the introducing line may hold the address itself.
        const qsizetype colon = lines.at(i).lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            const QStringList inLine = addressesIn(QStringView(lines.at(i)).sliced(colon + 1));
            if (!inLine.isEmpty())
                found.add(inLine.first());
        }
        int blanks = 0;
        for (qsizetype j = i + 1; j < end && j <= i + Window; ++j) {
            const QStringView line = QStringView(lines.at(j)).trimmed();
            if (line.isEmpty()) {
                if (++blanks == 2 || (!found.list().isEmpty() && blanks == 1 && j > i + 2))
                    break;
                continue;
            }
            if (isDivider(line) && j > i + 1)
                break;
            const QStringList here = addressesIn(line);
            if (!here.isEmpty())
                found.add(here.first());
        }
    }
}

// Paragraphs opening with the address: "<addr>:" (qmail, Postfix, Yahoo),
// "addr: 550 ..." and sendmail's "<addr>... User unknown".
void leadingAddresses(const NoticeText &text, qsizetype end, Found &found)
{
    const QStringList &lines = text.lines();
    for (qsizetype i = 0; i < end; ++i) {
        const QString &line = lines.at(i);
        if (line.isEmpty() || (line.size() > 2 && line.at(0).isSpace() && line.at(1).isSpace() && line.at(2).isSpace())
            || !line.contains(QLatin1Char('@')))
            continue;
        qsizetype after = 0;
        const QString address = leadingAddress(line, &after);
        if (address.isEmpty())
            continue;
        const QStringView rest = QStringView(line).sliced(after);
        if (rest.startsWith(u">:") || rest.startsWith(u":") || rest.startsWith(u">...") || rest.startsWith(u"...")
            || rest.startsWith(u"> ...") || rest.startsWith(u" ..."))
            found.add(address);
    }
}

// Sentences that name the address, read across line breaks.
void namingSentences(const NoticeText &notice, qsizetype end, Found &found)
{
    static const QRegularExpression sentences(
        QStringLiteral(
            R"((?:error delivering your mail to|your message to|(?:could not|couldn't|cannot|can't|unable to|was not|wasn't|were not|failed to) )"
            R"((?:be )?(?:deliver(?:ed)?|send|sent) (?:your message |the message |this message |message |messages |mail |your mail )?to:?)"
            R"(|delivery to|delivery failed \d+ attempts:|address to which your message was addressed,|addressed to '?)"
            R"(|(?:quota violation|over quota|mailbox full) for|pas pu (?:e|ê)tre (?:d(?:e|é)livr(?:e|é)|remis) (?:a|à))"
            R"(|5\d\d[ -](?:\d\.\d{1,3}\.\d{1,3} )?|mailbox (?:is )?full:|\(|user \S+ \())"
            R"(\s*<?([\w.!#$%&*+/=?^`{|}~-]+@[\w-]+(?:\.[\w-]+)+))"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    // Every sentence ends in an address.
    const QStringList &lines = notice.lines();
    bool named = false;
    for (qsizetype i = 0; i < end && !named; ++i)
        named = lines.at(i).contains(QLatin1Char('@'));
    if (!named)
        return;
    QString text;
    for (qsizetype i = 0; i < end; ++i) {
        text += QStringView(lines.at(i)).trimmed();
        text += QLatin1Char(' ');
    }
    // A match ends in an address and its lead-in is short, but for one name
    // or count of any length: the pattern runs over the stretch before each
    // word that holds an '@' only, not from every position of the notice.
    const QStringView view(text);
    const auto isSpace = [&view](qsizetype i) { return view.at(i).isSpace(); };
    qsizetype from = 0;
    for (qsizetype at = view.indexOf(QLatin1Char('@')); at >= 0;) {
        qsizetype runStart = at;
        while (runStart > from && !isSpace(runStart - 1))
            --runStart;
        qsizetype runEnd = at;
        while (runEnd < view.size() && !isSpace(runEnd))
            ++runEnd;
        qsizetype words = runStart;
        for (int word = 0; word < 2; ++word) {
            while (words > from && isSpace(words - 1))
                --words;
            while (words > from && !isSpace(words - 1))
                --words;
        }
        qsizetype leadEnd = runStart;
        while (leadEnd > from && isSpace(leadEnd - 1))
            --leadEnd;
        const qsizetype start = std::max(from, std::min(leadEnd - 64, words - 8));
        for (auto it = sentences.globalMatch(view.sliced(start, runEnd - start)); it.hasNext();) {
            const auto m = it.next();
            from = start + m.capturedEnd();
            const QString lead = m.captured(0).left(1);
            // "(addr)" and "5xx addr" name the recipient only with a reason beside them.
            if ((lead == QLatin1String("(") || lead.at(0).isDigit())
                && !reasons().foundIn(text.mid(start + m.capturedStart(), 160).toLower()))
                continue;
            found.add(clean(m.captured(1)));
        }
        at = view.indexOf(QLatin1Char('@'), runEnd);
    }
}

// The last resort in the text: an address on a line that gives a reason,
// but not one the mail came from.
void besideReasons(const NoticeText &text, qsizetype end, Found &found)
{
    static const QRegularExpression sender(QStringLiteral(R"((?:from|sender|by)\s+<?$)"),
                                           QRegularExpression::CaseInsensitiveOption);
    for (qsizetype i = 0; i < end; ++i) {
        const QString &line = text.lines().at(i);
        if (!line.contains(QLatin1Char('@')))
            continue;
        if (!reasons().foundIn(text.lower(i)))
            continue;
        for (auto it = addressPattern().globalMatch(line); it.hasNext();) {
            const auto m = it.next();
            if (!sender.match(QStringView(line).first(m.capturedStart())).hasMatch()) {
                found.add(clean(m.captured()));
                break;
            }
        }
    }
}

} // namespace

QStringList addressesIn(QStringView text)
{
    QStringList found;
    if (!text.contains(QLatin1Char('@')))
        return found;
    for (auto it = addressPattern().globalMatch(text); it.hasNext();)
        found << clean(it.next().captured());
    return found;
}

NoticeText::NoticeText(const QStringList &lines)
    : m_lines(lines)
{
}

const QString &NoticeText::lower(qsizetype i) const
{
    if (m_lower.isEmpty()) {
        m_lower.resize(m_lines.size());
        m_lowered.assign(std::size_t(m_lines.size()), false);
    }
    if (!m_lowered[std::size_t(i)]) {
        m_lower[i] = lowerText(m_lines.at(i));
        m_lowered[std::size_t(i)] = true;
    }
    return m_lower.at(i);
}

qsizetype NoticeText::noticeLength() const
{
    if (m_length < 0)
        m_length = findNoticeEnd();
    return m_length;
}

qsizetype NoticeText::findNoticeEnd() const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QStringView trimmed = QStringView(m_lines.at(i)).trimmed();
        if (trimmed.isEmpty())
            continue;
        // Lower-casing changes no blank: this is the trimmed line lowered.
        const QStringView low = QStringView(lower(i)).trimmed();
        if (low.startsWith(QLatin1String("received: ")) || low.startsWith(QLatin1String("return-path:"))
            || low.startsWith(QLatin1String(">received: ")) || low.startsWith(QLatin1String("message-id:")))
            return i;
        if (isDivider(trimmed)) {
            for (const char16_t *word : {u"original", u"returned", u"header", u"copy of", u"unsent", u"undelivered",
                                         u"message text", u"text follows", u"message follows", u"rfc822", u"below"}) {
                if (low.contains(QStringView(word)))
                    return i;
            }
        }
        // ("original message follows" holds "message follows".)
        if (low.startsWith(QLatin1String("original message")) || low.contains(QLatin1String("message follows")))
            return i;
    }
    return m_lines.size();
}

QStringList failedRecipients(const NoticeText &text, const RecipientTest &keep)
{
    const qsizetype end = text.noticeLength();
    Found found(keep);
    for (auto rule : {afterIntroducers, leadingAddresses, namingSentences})
        rule(text, end, found);
    if (found.list().isEmpty())
        besideReasons(text, end, found);
    return found.list();
}

QStringList returnedRecipients(const HeaderFields &returned, const NoticeText &text, const RecipientTest &keep)
{
    Found found(keep);
    for (const char *name : {"to", "cc"}) {
        for (const QString &value : returned.values(QLatin1StringView(name))) {
            for (const QString &address : fieldAddresses(value))
                found.add(address);
        }
    }
    if (!found.list().isEmpty() || !returned.isEmpty())
        return found.list();
    // A header block quoted in the text: its first To and Cc lines.
    const QStringList &lines = text.lines();
    for (qsizetype i = text.noticeLength(); i < lines.size(); ++i) {
        QStringView line = QStringView(lines.at(i)).trimmed();
        if (line.startsWith(QLatin1Char('>')))
            line = line.sliced(1).trimmed();
        if (line.startsWith(u"To:", Qt::CaseInsensitive) || line.startsWith(u"Cc:", Qt::CaseInsensitive)) {
            for (const QString &address : addressesIn(line.sliced(3)))
                found.add(address);
        }
        if (line.isEmpty() && !found.list().isEmpty())
            break;
    }
    return found.list();
}

bool saysDelayed(const QString &subject, const NoticeText &notice)
{
    static const PhraseSet phrases{
        u"will retry",
        u"will be retried",
        u"will continue to try",
        u"will keep trying",
        u"still trying",
        u"will try again",
        u"not yet been delivered",
        u"has been delayed",
        u"is delayed",
        u"delivery delayed",
        u"delayed mail",
        u"(delay)",
        u"warning only",
        u"warning message only",
        u"could not send message for past",
        u"delivery attempts will continue",
        u"will be attempted again",
        u"will continue attempting",
    };
    QString text = lowerText(subject);
    const qsizetype end = notice.noticeLength();
    qsizetype size = text.size();
    for (qsizetype i = 0; i < end; ++i)
        size += notice.lines().at(i).size() + 1;
    text.reserve(size);
    for (qsizetype i = 0; i < end; ++i) {
        text += QLatin1Char(' ');
        text += QStringView(notice.lower(i)).trimmed();
    }
    return phrases.foundIn(text);
}
