// HTML bodies as the text a reader sees, in one pass over the source: no
// document is built, nothing the markup points at is ever loaded.
#include "platform/outlook/MessageText.h"

#include "platform/text/LegacyText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace platform::outlook::mailtext {

namespace {

constexpr bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

constexpr bool isLetter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

constexpr unsigned nameCode(char16_t c, bool foldCase)
{
    if (c >= u'a' && c <= u'z')
        return c - u'a' + 1;
    if (c >= u'A' && c <= u'Z')
        return c - u'A' + (foldCase ? 1 : 27);
    if (c >= u'0' && c <= u'9')
        return c - u'0' + 53;
    return 0;
}

constexpr std::array<std::uint8_t, 128> codes(bool foldCase)
{
    std::array<std::uint8_t, 128> table{};
    for (char16_t c = 0; c < 128; ++c)
        table[c] = std::uint8_t(nameCode(c, foldCase));
    return table;
}
constexpr auto kFoldedCodes = codes(true);
constexpr auto kCodes = codes(false);

constexpr std::size_t kMaxName = 10;

// Up to ten letters and digits as one number, so that looking a name up
// costs no allocation; 0 for any other name.
constexpr std::uint64_t nameKey(std::u16string_view name, bool foldCase)
{
    if (name.empty() || name.size() > kMaxName)
        return 0;
    std::uint64_t key = 0;
    for (const char16_t c : name) {
        const unsigned v = c < 128 ? (foldCase ? kFoldedCodes : kCodes)[c] : 0;
        if (v == 0)
            return 0;
        key = key << 6 | v;
    }
    return key;
}

template <typename T>
struct Named
{
    std::uint64_t key;
    T value;
};

// Each name in a slot of its own, so that a look-up is one load and one
// comparison; the multiplier that spreads them is searched for at compile time.
template <typename T>
struct NameTable
{
    std::uint64_t multiplier = 0;
    std::array<Named<T>, 256> slots{};

    constexpr std::size_t slotOf(std::uint64_t key) const { return std::size_t((key * multiplier) >> 56); }
    T find(std::uint64_t key) const
    {
        const Named<T> &e = slots[slotOf(key)];
        return e.key == key ? e.value : T{};
    }
};

template <typename T, std::size_t N>
constexpr NameTable<T> perfectTable(const Named<T> (&entries)[N])
{
    NameTable<T> table;
    for (std::uint64_t m = 0x9E3779B97F4A7C15ull;; m += 0x4A7C15F39CC0605Dull) {
        table.multiplier = m | 1;
        table.slots = {};
        bool clash = false;
        for (const Named<T> &e : entries) {
            Named<T> &slot = table.slots[table.slotOf(e.key)];
            clash = clash || slot.key != 0;
            slot = e;
        }
        if (!clash)
            return table;
    }
}

enum class Tag { Inline, Block, Break, Pre, Hidden };

constexpr Named<Tag> tag(std::u16string_view name, Tag kind)
{
    return {nameKey(name, true), kind};
}

constexpr Named<Tag> kTagList[] = {
    tag(u"p", Tag::Block),       tag(u"div", Tag::Block),     tag(u"h1", Tag::Block),      tag(u"h2", Tag::Block),
    tag(u"h3", Tag::Block),      tag(u"h4", Tag::Block),      tag(u"h5", Tag::Block),      tag(u"h6", Tag::Block),
    tag(u"li", Tag::Block),      tag(u"ul", Tag::Block),      tag(u"ol", Tag::Block),      tag(u"dl", Tag::Block),
    tag(u"dt", Tag::Block),      tag(u"dd", Tag::Block),      tag(u"tr", Tag::Block),      tag(u"td", Tag::Block),
    tag(u"th", Tag::Block),      tag(u"table", Tag::Block),   tag(u"blockquote", Tag::Block), tag(u"hr", Tag::Block),
    tag(u"address", Tag::Block), tag(u"center", Tag::Block),  tag(u"form", Tag::Block),    tag(u"section", Tag::Block),
    tag(u"article", Tag::Block), tag(u"header", Tag::Block),  tag(u"footer", Tag::Block),  tag(u"nav", Tag::Block),
    tag(u"aside", Tag::Block),   tag(u"figure", Tag::Block),  tag(u"main", Tag::Block),    tag(u"body", Tag::Block),
    tag(u"caption", Tag::Block), tag(u"tbody", Tag::Block),   tag(u"thead", Tag::Block),   tag(u"br", Tag::Break),
    tag(u"pre", Tag::Pre),       tag(u"script", Tag::Hidden), tag(u"style", Tag::Hidden),  tag(u"title", Tag::Hidden),
    tag(u"tfoot", Tag::Block),
};
constexpr auto kTags = perfectTable(kTagList);

constexpr Named<char32_t> entity(std::u16string_view name, char32_t code)
{
    return {nameKey(name, false), code};
}

constexpr Named<char32_t> kEntityList[] = {
    entity(u"amp", U'&'),      entity(u"lt", U'<'),        entity(u"gt", U'>'),        entity(u"quot", U'"'),
    entity(u"apos", U'\''),    entity(u"nbsp", 0xA0),      entity(u"copy", 0xA9),      entity(u"reg", 0xAE),
    entity(u"trade", 0x2122),  entity(u"hellip", 0x2026),  entity(u"mdash", 0x2014),   entity(u"ndash", 0x2013),
    entity(u"lsquo", 0x2018),  entity(u"rsquo", 0x2019),   entity(u"ldquo", 0x201C),   entity(u"rdquo", 0x201D),
    entity(u"laquo", 0xAB),    entity(u"raquo", 0xBB),     entity(u"bull", 0x2022),    entity(u"middot", 0xB7),
    entity(u"euro", 0x20AC),   entity(u"pound", 0xA3),     entity(u"deg", 0xB0),       entity(u"shy", 0xAD),
    entity(u"eacute", 0xE9),   entity(u"egrave", 0xE8),    entity(u"agrave", 0xE0),    entity(u"auml", 0xE4),
    entity(u"ouml", 0xF6),     entity(u"uuml", 0xFC),      entity(u"Auml", 0xC4),      entity(u"Ouml", 0xD6),
    entity(u"Uuml", 0xDC),     entity(u"szlig", 0xDF),     entity(u"ccedil", 0xE7),    entity(u"ntilde", 0xF1),
    entity(u"zwnj", 0x200C),   entity(u"zwj", 0x200D),     entity(u"times", 0xD7),     entity(u"Eacute", 0xC9),
    entity(u"iexcl", 0xA1),    entity(u"iquest", 0xBF),    entity(u"sect", 0xA7),      entity(u"cent", 0xA2),
    entity(u"yen", 0xA5),
};
constexpr auto kEntities = perfectTable(kEntityList);

class HtmlText
{
public:
    explicit HtmlText(QStringView html);
    QString run();

private:
    void put(char16_t c)
    {
        if (m_breaks > 0 || m_space)
            flush();
        *m_w++ = c == 0xA0 ? u' ' : c;
    }
    void flush();
    void copyText();
    void character(char32_t c, const char16_t *next);
    void lineBreak(bool forced);
    void tag();
    void entity();
    const char16_t *past(const char16_t *p, char16_t c) const;
    const char16_t *pastEndTag(const char16_t *p, QStringView name) const;

    const char16_t *const m_begin;
    const char16_t *const m_end;
    const char16_t *m_p; // the next source character
    QString m_out;
    char16_t *m_outBegin = nullptr;
    char16_t *m_w = nullptr;
    char16_t *m_outEnd = nullptr;
    int m_breaks = 0; // line breaks owed before the next text
    bool m_space = false;
    int m_pre = 0;
};

// Text is never longer than its source but for line feeds inside <pre>,
// which become CR LF: room is checked only where line breaks are written.
HtmlText::HtmlText(QStringView html)
    : m_begin(reinterpret_cast<const char16_t *>(html.utf16()))
    , m_end(m_begin + html.size())
    , m_p(m_begin)
    , m_out(html.size() + 16, Qt::Uninitialized)
{
    m_outBegin = m_w = reinterpret_cast<char16_t *>(m_out.data());
    m_outEnd = m_outBegin + m_out.size();
}

void HtmlText::flush()
{
    const qsizetype needed = 2 * qsizetype(m_breaks) + 2 + (m_end - m_p);
    if (m_outEnd - m_w < needed) {
        const qsizetype used = m_w - m_outBegin;
        m_out.resize(std::max(2 * m_out.size(), used + needed));
        m_outBegin = reinterpret_cast<char16_t *>(m_out.data());
        m_w = m_outBegin + used;
        m_outEnd = m_outBegin + m_out.size();
    }
    if (m_w != m_outBegin && m_breaks > 0) {
        while (m_w != m_outBegin && (m_w[-1] == u' ' || m_w[-1] == u'\t'))
            --m_w;
        for (int i = 0; i < m_breaks; ++i) {
            *m_w++ = u'\r';
            *m_w++ = u'\n';
        }
    } else if (m_w != m_outBegin && m_space) {
        *m_w++ = u' ';
    }
    m_breaks = 0;
    m_space = false;
}

// One character of text; `next` is what follows it in the source.
void HtmlText::character(char32_t c, const char16_t *next)
{
    if (QChar::requiresSurrogates(c)) {
        put(QChar::highSurrogate(c));
        put(QChar::lowSurrogate(c));
    } else if (!isSpace(char16_t(c))) {
        put(char16_t(c));
    } else if (m_pre == 0) {
        m_space = true;
    } else if (c == u'\n' || (c == u'\r' && (next == m_end || *next != u'\n'))) {
        lineBreak(true);
    } else if (c != u'\r') {
        put(char16_t(c));
    }
}

// Text up to the next markup, outside <pre> and with no line break owed:
// the common case, kept in registers.
void HtmlText::copyText()
{
    const char16_t *p = m_p;
    char16_t *w = m_w;
    bool space = m_space;
    while (p < m_end) {
        const char16_t c = *p;
        if (c == u'<' || c == u'&')
            break;
        ++p;
        if (c <= u' ' && isSpace(c)) {
            space = true;
            continue;
        }
        if (space && w != m_outBegin)
            *w++ = u' ';
        space = false;
        *w++ = c == 0xA0 ? u' ' : c;
    }
    m_p = p;
    m_w = w;
    m_space = space;
}

void HtmlText::lineBreak(bool forced)
{
    m_breaks = forced ? m_breaks + 1 : std::max(m_breaks, 1);
    m_space = false;
}

QString HtmlText::run()
{
    while (m_p < m_end) {
        const char16_t c = *m_p;
        if (c == u'<') {
            tag();
        } else if (c == u'&') {
            entity();
        } else if (m_pre == 0 && m_breaks == 0) {
            copyText();
        } else {
            ++m_p;
            character(c, m_p);
        }
    }
    while (m_w != m_outBegin && (m_w[-1] == u' ' || m_w[-1] == u'\t'))
        --m_w;
    m_out.truncate(m_w - m_outBegin);
    m_out.squeeze();
    return std::move(m_out);
}

const char16_t *HtmlText::past(const char16_t *p, char16_t c) const
{
    p = std::find(p, m_end, c);
    return p == m_end ? p : p + 1;
}

// Past the end tag of a <script>, <style> or <title>, whose content is not markup.
const char16_t *HtmlText::pastEndTag(const char16_t *p, QStringView name) const
{
    for (;;) {
        p = std::find(p, m_end, u'<');
        if (p == m_end)
            return p;
        ++p;
        const QStringView rest(p, m_end);
        if (rest.startsWith(u'/') && rest.sliced(1).startsWith(name, Qt::CaseInsensitive))
            return past(p, u'>');
    }
}

void HtmlText::tag()
{
    const char16_t *const q = m_p + 1;
    if (q == m_end || (!isLetter(*q) && *q != u'/' && *q != u'!' && *q != u'?')) {
        m_p = q;
        put(u'<'); // "a < b" and "<3" are text
        return;
    }
    if (*q == u'!' && m_end - q >= 3 && q[1] == u'-' && q[2] == u'-') {
        // From the first dash on, so that "<!-->" ends at once.
        const qsizetype at = QStringView(q + 1, m_end).indexOf(u"-->");
        m_p = at < 0 ? m_end : q + 1 + at + 3;
        return;
    }
    const bool closing = *q == u'/';
    if (*q == u'!' || *q == u'?' || (closing && q + 1 < m_end && !isLetter(q[1]))) {
        m_p = past(q, u'>'); // a declaration; "</>" and "</ x>" show nothing
        return;
    }
    if (closing && q + 1 == m_end) {
        m_p = q;
        put(u'<');
        return;
    }
    const char16_t *const name = closing ? q + 1 : q;
    const char16_t *r = name;
    std::uint64_t key = 0;
    bool known = true;
    for (; r < m_end && !isSpace(*r) && *r != u'/' && *r != u'>'; ++r) {
        const unsigned v = *r < 128 ? kFoldedCodes[*r] : 0;
        known = known && v != 0;
        key = key << 6 | v;
    }
    const QStringView nameView(name, r);
    if (!known || std::size_t(nameView.size()) > kMaxName)
        key = 0;
    // To the closing ">". Quotes count only where a value starts, so the
    // apostrophe in <img alt=don't> opens nothing.
    enum { Between, BeforeValue, InValue } state = Between;
    for (; r < m_end && *r != u'>'; ++r) {
        const char16_t c = *r;
        if (state == BeforeValue && (c == u'"' || c == u'\'')) {
            r = std::find(r + 1, m_end, c);
            if (r == m_end)
                break;
            state = Between;
        } else if (isSpace(c)) {
            state = state == InValue ? Between : state;
        } else if (state == Between) {
            state = c == u'=' ? BeforeValue : Between;
        } else if (state == BeforeValue) {
            state = InValue;
        }
    }
    m_p = r < m_end ? r + 1 : m_end;
    switch (kTags.find(key)) {
    case Tag::Inline:
        break;
    case Tag::Block:
        lineBreak(false);
        break;
    case Tag::Break:
        lineBreak(true); // "</br>" too, as browsers read it
        break;
    case Tag::Pre:
        m_pre = closing ? std::max(0, m_pre - 1) : m_pre + 1;
        lineBreak(false);
        // The line break right after <pre> is not content.
        if (!closing && m_p < m_end && *m_p == u'\r')
            ++m_p;
        if (!closing && m_p < m_end && *m_p == u'\n')
            ++m_p;
        break;
    case Tag::Hidden:
        if (!closing)
            m_p = pastEndTag(m_p, nameView);
        break;
    }
}

void HtmlText::entity()
{
    const char16_t *const p = m_p;
    const char16_t *end = p + 1;
    while (end < m_end && end - p <= 32 && *end != u';' && !isSpace(*end) && *end != u'&' && *end != u'<')
        ++end;
    char32_t code = 0;
    if (end < m_end && *end == u';') {
        const std::u16string_view body(p + 1, end - p - 1);
        if (!body.empty() && body.front() == u'#') {
            const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
            const std::u16string_view digits = body.substr(hex ? 2 : 1);
            char32_t value = 0;
            bool ok = !digits.empty();
            for (const char16_t c : digits) {
                const char16_t lower = c | 0x20;
                const int d = c >= u'0' && c <= u'9'                  ? c - u'0'
                    : hex && lower >= u'a' && lower <= u'f' ? lower - u'a' + 10
                                                             : -1;
                ok = ok && d >= 0;
                value = std::min<char32_t>(0x110000, value * (hex ? 16 : 10) + char32_t(std::max(d, 0)));
            }
            if (ok) {
                code = value;
                if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                    code = 0xFFFD;
                else if (code >= 0x80 && code < 0xA0) // Windows text written out as references
                    code = fromWindows1252(QByteArray(1, char(code))).at(0).unicode();
            }
        } else {
            code = kEntities.find(nameKey(body, false));
        }
    }
    if (code == 0) {
        m_p = p + 1;
        put(u'&');
        return;
    }
    m_p = end + 1;
    character(code, m_p);
}

} // namespace

QString htmlToText(const QString &html)
{
    return HtmlText(html).run();
}

} // namespace platform::outlook::mailtext
