// HTML bodies as the text a reader sees, in one pass over the source: no
// document is built, nothing the markup points at is ever loaded.
#include "platform/outlook/MessageText.h"

#include <QHash>

namespace platform::outlook::mailtext {

namespace {

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool isNameChar(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool isBlockTag(const QString &name)
{
    static const QStringList blocks = {
        QStringLiteral("p"),       QStringLiteral("div"),     QStringLiteral("h1"),      QStringLiteral("h2"),
        QStringLiteral("h3"),      QStringLiteral("h4"),      QStringLiteral("h5"),      QStringLiteral("h6"),
        QStringLiteral("li"),      QStringLiteral("ul"),      QStringLiteral("ol"),      QStringLiteral("dl"),
        QStringLiteral("dt"),      QStringLiteral("dd"),      QStringLiteral("tr"),      QStringLiteral("td"),
        QStringLiteral("th"),      QStringLiteral("table"),   QStringLiteral("blockquote"), QStringLiteral("pre"),
        QStringLiteral("hr"),      QStringLiteral("address"), QStringLiteral("center"),  QStringLiteral("form"),
        QStringLiteral("section"), QStringLiteral("article"), QStringLiteral("header"),  QStringLiteral("footer"),
        QStringLiteral("nav"),     QStringLiteral("aside"),   QStringLiteral("figure"),  QStringLiteral("main"),
        QStringLiteral("body"),    QStringLiteral("caption"), QStringLiteral("tbody"),   QStringLiteral("thead"),
    };
    return blocks.contains(name);
}

char32_t namedEntity(QStringView name)
{
    static const QHash<QString, char32_t> entities = {
        {QStringLiteral("amp"), U'&'},       {QStringLiteral("lt"), U'<'},        {QStringLiteral("gt"), U'>'},
        {QStringLiteral("quot"), U'"'},      {QStringLiteral("apos"), U'\''},     {QStringLiteral("nbsp"), 0xA0},
        {QStringLiteral("copy"), 0xA9},      {QStringLiteral("reg"), 0xAE},       {QStringLiteral("trade"), 0x2122},
        {QStringLiteral("hellip"), 0x2026},  {QStringLiteral("mdash"), 0x2014},   {QStringLiteral("ndash"), 0x2013},
        {QStringLiteral("lsquo"), 0x2018},   {QStringLiteral("rsquo"), 0x2019},   {QStringLiteral("ldquo"), 0x201C},
        {QStringLiteral("rdquo"), 0x201D},   {QStringLiteral("laquo"), 0xAB},     {QStringLiteral("raquo"), 0xBB},
        {QStringLiteral("bull"), 0x2022},    {QStringLiteral("middot"), 0xB7},    {QStringLiteral("euro"), 0x20AC},
        {QStringLiteral("pound"), 0xA3},     {QStringLiteral("deg"), 0xB0},       {QStringLiteral("shy"), 0xAD},
        {QStringLiteral("eacute"), 0xE9},    {QStringLiteral("egrave"), 0xE8},    {QStringLiteral("agrave"), 0xE0},
        {QStringLiteral("auml"), 0xE4},      {QStringLiteral("ouml"), 0xF6},      {QStringLiteral("uuml"), 0xFC},
        {QStringLiteral("Auml"), 0xC4},      {QStringLiteral("Ouml"), 0xD6},      {QStringLiteral("Uuml"), 0xDC},
        {QStringLiteral("szlig"), 0xDF},     {QStringLiteral("ccedil"), 0xE7},    {QStringLiteral("ntilde"), 0xF1},
        {QStringLiteral("zwnj"), 0x200C},    {QStringLiteral("zwj"), 0x200D},     {QStringLiteral("times"), 0xD7},
    };
    return entities.value(name.toString(), 0);
}

class HtmlText
{
public:
    explicit HtmlText(const QString &html) : m_in(html) { m_out.reserve(html.size() / 2); }
    QString run();

private:
    void text(char16_t c);
    void lineBreak(bool forced);
    void tag();
    void entity();
    void skipPast(QStringView end);

    QStringView m_in;
    qsizetype m_pos = 0;
    QString m_out;
    int m_breaks = 0; // line breaks owed before the next text
    bool m_space = false;
    int m_pre = 0;
};

QString HtmlText::run()
{
    while (m_pos < m_in.size()) {
        const char16_t c = m_in[m_pos].unicode();
        if (c == u'<')
            tag();
        else if (c == u'&')
            entity();
        else {
            text(c);
            ++m_pos;
        }
    }
    return m_out;
}

void HtmlText::text(char16_t c)
{
    if (m_pre == 0 && isSpace(c)) {
        m_space = true;
        return;
    }
    if (m_pre > 0 && (c == u'\n' || c == u'\r')) {
        if (c == u'\r' && m_pos + 1 < m_in.size() && m_in[m_pos + 1] == u'\n')
            return;
        lineBreak(true);
        return;
    }
    if (!m_out.isEmpty()) {
        if (m_breaks > 0)
            m_out += QString(m_breaks, u'\n');
        else if (m_space)
            m_out += u' ';
    }
    m_breaks = 0;
    m_space = false;
    m_out += QChar(c);
}

void HtmlText::lineBreak(bool forced)
{
    m_breaks = forced ? m_breaks + 1 : qMax(m_breaks, 1);
    m_space = false;
}

void HtmlText::skipPast(QStringView end)
{
    const qsizetype at = m_in.indexOf(end, m_pos, Qt::CaseInsensitive);
    m_pos = at < 0 ? m_in.size() : at + end.size();
}

void HtmlText::tag()
{
    const qsizetype start = m_pos++;
    if (m_in.sliced(m_pos).startsWith(u"!--")) {
        skipPast(u"-->");
        return;
    }
    const bool closing = m_pos < m_in.size() && m_in[m_pos] == u'/';
    if (closing)
        ++m_pos;
    const qsizetype nameStart = m_pos;
    while (m_pos < m_in.size() && isNameChar(m_in[m_pos].unicode()))
        ++m_pos;
    const QString name = m_in.sliced(nameStart, m_pos - nameStart).toString().toLower();
    const bool declaration = m_pos < m_in.size() && (m_in[m_pos] == u'!' || m_in[m_pos] == u'?');
    if (name.isEmpty() && !declaration) {
        m_pos = start; // a lone "<" is text
        text(u'<');
        ++m_pos;
        return;
    }
    // To the closing ">", over quoted attribute values.
    char16_t quote = 0;
    for (; m_pos < m_in.size(); ++m_pos) {
        const char16_t c = m_in[m_pos].unicode();
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            break;
        }
    }
    ++m_pos;
    if (declaration)
        return;
    if (!closing && (name == u"script" || name == u"style" || name == u"title")) {
        skipPast(QString(QStringLiteral("</") + name));
        skipPast(u">");
        return;
    }
    if (name == u"br") {
        lineBreak(true);
    } else if (name == u"pre") {
        m_pre = closing ? qMax(0, m_pre - 1) : m_pre + 1;
        lineBreak(false);
    } else if (isBlockTag(name)) {
        lineBreak(false);
    }
}

void HtmlText::entity()
{
    qsizetype end = m_pos + 1;
    while (end < m_in.size() && end - m_pos <= 32 && m_in[end] != u';' && !isSpace(m_in[end].unicode())
           && m_in[end] != u'&' && m_in[end] != u'<')
        ++end;
    char32_t code = 0;
    if (end < m_in.size() && m_in[end] == u';') {
        const QStringView body = m_in.sliced(m_pos + 1, end - m_pos - 1);
        if (body.startsWith(u'#')) {
            bool ok = false;
            const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
            code = char32_t(body.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10));
            if (!ok || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                code = ok ? 0xFFFD : 0;
        } else {
            code = namedEntity(body);
        }
    }
    if (code == 0) {
        text(u'&');
        ++m_pos;
        return;
    }
    m_pos = end + 1;
    if (QChar::requiresSurrogates(code)) {
        text(QChar::highSurrogate(code));
        text(QChar::lowSurrogate(code));
    } else {
        text(char16_t(code));
    }
}

// The document keeps the source's blanks between blocks at the ends of lines.
QString withoutTrailingBlanks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype blanksFrom = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u' ' || c == u'\t') {
            if (blanksFrom < 0)
                blanksFrom = i;
            continue;
        }
        if (blanksFrom >= 0 && c != u'\n')
            out += QStringView(text).sliced(blanksFrom, i - blanksFrom);
        blanksFrom = -1;
        out += c;
    }
    return out;
}

} // namespace

QString htmlToText(const QString &html)
{
    QString text = HtmlText(html).run();
    text.replace(QChar::Nbsp, u' ');
    return withoutTrailingBlanks(text);
}

} // namespace platform::outlook::mailtext
