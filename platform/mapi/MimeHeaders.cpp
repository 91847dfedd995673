#include "platform/mapi/MimeHeaders.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace mapistandin {

namespace {

constexpr qsizetype kFoldColumn = 78;
constexpr qsizetype kLongestLine = 998;
// A word longer than this could not share a folded line with the blank
// before it, so it goes encoded, in pieces.
constexpr qsizetype kLongestWord = 66;
// Octets of UTF-8 per encoded word: 64 columns, so a word still fits the
// first line of a subject or an address field.
constexpr qsizetype kEncodedWordOctets = 39;
constexpr qsizetype kParameterSection = 56;

bool isAtext(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
           || std::u16string_view(u"!#$%&'*+-/=?^_`{|}~").find(c) != std::u16string_view::npos;
}

bool isPrintableAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

// A reader decodes anything that looks like an encoded word, even in
// quotes: such text is encoded, never written as it is.
bool looksEncoded(QStringView text)
{
    return text.contains(u"=?");
}

bool isDotAtom(QStringView text)
{
    if (text.isEmpty() || text.startsWith(u'.') || text.endsWith(u'.') || text.contains(u".."))
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == u'.' || isAtext(c.unicode()); });
}

bool isAtom(QStringView word)
{
    return !word.isEmpty() && word.size() <= kLongestWord && !looksEncoded(word)
           && std::all_of(word.begin(), word.end(), [](QChar c) { return isAtext(c.unicode()); });
}

// One field, folded before a piece that would pass the fold column.
class Field
{
public:
    explicit Field(QByteArrayView name)
        : m_out(name.toByteArray() + ':')
        , m_column(m_out.size())
    {
    }

    void add(QByteArrayView piece)
    {
        if (m_column > 1 && m_column + 1 + piece.size() > kFoldColumn) {
            m_out += "\n ";
            m_column = 1;
        } else {
            m_out += ' ';
            ++m_column;
        }
        m_out += piece;
        m_column += piece.size();
        m_longest = std::max(m_longest, m_column);
    }

    qsizetype longestLine() const { return m_longest; }
    QByteArray finish() const { return m_out + '\n'; }

private:
    QByteArray m_out;
    qsizetype m_column;
    qsizetype m_longest = 0;
};

// RFC 2047 words, cut between characters: a reader decodes each word apart.
QList<QByteArray> encodedWords(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QList<QByteArray> out;
    for (qsizetype start = 0; start < utf8.size();) {
        qsizetype end = std::min(start + kEncodedWordOctets, utf8.size());
        while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            --end;
        out.append("=?utf-8?b?" + utf8.sliced(start, end - start).toBase64() + "?=");
        start = end;
    }
    return out;
}

// A display name as pieces. Words that are atoms stay as they are; the
// others go encoded, neighbours together, since a reader joins adjacent
// encoded words without the blank between them.
QList<QByteArray> phrase(const QString &name)
{
    const QStringList words = name.split(QLatin1Char(' '));
    QList<QByteArray> out;
    if (std::all_of(words.begin(), words.end(), [](const QString &w) { return isAtom(w); })) {
        for (const QString &word : words)
            out.append(word.toLatin1());
        return out;
    }
    if (isPrintableAscii(name) && !looksEncoded(name)) {
        QByteArray quoted = name.toLatin1();
        quoted.replace('\\', "\\\\").replace('"', "\\\"");
        if (quoted.size() + 2 <= kLongestWord)
            return {'"' + quoted + '"'};
    }
    if (words.contains(QString()))
        return encodedWords(name); // runs of blanks survive only inside one
    QStringList run;
    const auto flush = [&] {
        if (!run.isEmpty())
            out.append(encodedWords(run.join(QLatin1Char(' '))));
        run.clear();
    };
    for (const QString &word : words) {
        if (isAtom(word)) {
            flush();
            out.append(word.toLatin1());
        } else {
            run.append(word);
        }
    }
    flush();
    return out;
}

QList<QByteArray> parameterPieces(const QByteArray &attribute, const QString &value)
{
    if (isPrintableAscii(value) && !looksEncoded(value) && !value.contains(QLatin1Char('"'))
        && !value.contains(QLatin1Char('\\')) && value.size() <= kParameterSection)
        return {attribute + "=\"" + value.toLatin1() + '"'};
    // RFC 2231, in sections cut between characters: a reader decodes each
    // section apart.
    static const QByteArray keep = "!#$&+-.^_`|~";
    QList<QByteArray> sections{QByteArray()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const qsizetype length = (value[i].isHighSurrogate() && i + 1 < value.size()) ? 2 : 1;
        const QByteArray encoded = value.mid(i, length).toUtf8().toPercentEncoding(keep);
        i += length - 1;
        if (sections.last().size() + encoded.size() > kParameterSection)
            sections.append(QByteArray());
        sections.last() += encoded;
    }
    if (sections.size() == 1)
        return {attribute + "*=utf-8''" + sections.first()};
    QList<QByteArray> out;
    for (qsizetype i = 0; i < sections.size(); ++i)
        out.append(attribute + '*' + QByteArray::number(i) + "*=" + (i == 0 ? "utf-8''" : "") + sections[i]);
    return out;
}

} // namespace

std::optional<QByteArray> addrSpec(const QString &address)
{
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    if (at <= 0)
        return std::nullopt;
    const QStringView local = QStringView(address).left(at);
    const QString domain = address.mid(at + 1);
    if (local.size() > 64 || !isDotAtom(local))
        return std::nullopt;
    const QByteArray host = isPrintableAscii(domain) ? domain.toLatin1() : QUrl::toAce(domain);
    if (host.isEmpty() || host.size() > 255 || !isDotAtom(QString::fromLatin1(host)))
        return std::nullopt;
    return local.toLatin1() + '@' + host;
}

QByteArray unstructuredField(QByteArrayView name, const QString &text)
{
    Field field(name);
    const QStringList words = text.split(QLatin1Char(' '));
    const bool plain = std::all_of(words.begin(), words.end(), [](const QString &w) {
        return !w.isEmpty() && w.size() <= kLongestWord && isPrintableAscii(w) && !looksEncoded(w);
    });
    if (plain) {
        for (const QString &word : words)
            field.add(word.toLatin1());
    } else {
        for (const QByteArray &piece : encodedWords(text))
            field.add(piece);
    }
    return field.finish();
}

std::optional<QByteArray> mailboxField(QByteArrayView name, const QVector<Mailbox> &boxes)
{
    Field field(name);
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        const std::optional<QByteArray> address = addrSpec(boxes[i].address);
        if (!address)
            return std::nullopt;
        const QByteArray separator = i + 1 < boxes.size() ? "," : "";
        const QString display = boxes[i].name.trimmed();
        if (display.isEmpty()) {
            field.add(*address + separator);
            continue;
        }
        for (const QByteArray &piece : phrase(display))
            field.add(piece);
        field.add('<' + *address + '>' + separator);
    }
    if (field.longestLine() > kLongestLine)
        return std::nullopt;
    return field.finish();
}

QByteArray parameterField(QByteArrayView name, QByteArrayView value, const QVector<MimeParameter> &params)
{
    Field field(name);
    QList<QByteArray> pieces{value.toByteArray()};
    for (const auto &[attribute, text] : params)
        pieces += parameterPieces(attribute, text);
    for (qsizetype i = 0; i < pieces.size(); ++i)
        field.add(i + 1 < pieces.size() ? pieces[i] + ';' : pieces[i]);
    return field.finish();
}

QByteArray dateField(const QDateTime &when)
{
    const int minutes = when.offsetFromUtc() / 60;
    const int east = std::abs(minutes);
    const QByteArray zone
        = (minutes < 0 ? "-" : "+") + QByteArray::number(east / 60 * 100 + east % 60).rightJustified(4, '0');
    const QString local = QLocale::c().toString(when, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss "));
    return "Date: " + local.toLatin1() + zone + '\n';
}

QByteArray messageIdField(QByteArrayView domain)
{
    quint64 random[2];
    QRandomGenerator::system()->fillRange(random);
    const QByteArray unique = QByteArray::number(QDateTime::currentMSecsSinceEpoch(), 36) + '.'
                              + QByteArray::number(random[0], 36) + QByteArray::number(random[1], 36);
    // The domain comes from a profile value: never let it carry a line break.
    const bool safe = isDotAtom(QString::fromLatin1(domain));
    return "Message-ID: <" + unique + '@' + (safe ? domain.toByteArray() : QByteArray("localhost.invalid")) + ">\n";
}

} // namespace mapistandin
