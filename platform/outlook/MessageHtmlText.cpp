// HTML bodies as the text a reader sees, in one pass over the source: no
// document is built, nothing the markup points at is ever loaded.
#include "platform/outlook/MessageText.h"

#include "platform/outlook/MessageHtmlNames.h"

#include "platform/text/LegacyText.h"

#include <algorithm>
#include <array>
#include <optional>
#include <type_traits>

namespace platform::outlook::mailtext {

namespace {

using namespace htmlnames;

// How the source's code units become characters of text. Markup is ASCII in
// every source, and no byte of a UTF-8 sequence or of a windows-1252
// character above 0x7F is ASCII, so tags and entities are found on the
// units themselves.
enum class Source { Utf16, Utf8, Utf8OrWindows1252, Windows1252 };

template<Source S> using UnitOf = std::conditional_t<S == Source::Utf16, char16_t, unsigned char>;

// What ends a run of text copied as it is: markup, blanks, the no-break
// space, and in bytes whatever is not ASCII.
constexpr std::array<bool, 256> textStops(bool bytes)
{
    std::array<bool, 256> stops{};
    for (unsigned c : {'<', '&', ' ', '\t', '\n', '\r', '\f'})
        stops[c] = true;
    stops[0xA0] = true;
    for (unsigned c = 0x80; bytes && c < 0x100; ++c)
        stops[c] = true;
    return stops;
}
constexpr auto kUnitStops = textStops(false);
constexpr auto kByteStops = textStops(true);

template<typename Unit> constexpr bool stopsText(Unit u)
{
    if constexpr (sizeof(Unit) == 1)
        return kByteStops[u];
    else
        return u < 0x100 && kUnitStops[u];
}

template<Source S> class HtmlText
{
public:
    using Unit = UnitOf<S>;
    HtmlText(const Unit *begin, qsizetype size);
    // Empty when strict UTF-8 meets a byte that is no part of a sequence.
    std::optional<QString> run();

private:
    void put(char16_t c)
    {
        if (m_breaks > 0 || m_space)
            flush();
        *m_w++ = c == 0xA0 ? u' ' : c;
    }
    char32_t next(const Unit *&p);
    void flush();
    void copyText();
    void character(char32_t c, const Unit *next);
    void lineBreak(bool forced);
    void tag();
    void entity();
    const Unit *past(const Unit *p, Unit c) const;
    const Unit *pastEndTag(const Unit *p, const Unit *name, qsizetype length) const;

    const Unit *const m_begin;
    const Unit *const m_end;
    const Unit *m_p; // the next source unit
    QString m_out;
    char16_t *m_outBegin = nullptr;
    char16_t *m_w = nullptr;
    char16_t *m_outEnd = nullptr;
    int m_breaks = 0; // line breaks owed before the next text
    bool m_space = false;
    int m_pre = 0;
    bool m_stray = false;
};

// Text is never longer than its source in code units but for line feeds
// inside <pre>, which become CR LF: room is checked only where line breaks
// are written.
template<Source S>
HtmlText<S>::HtmlText(const Unit *begin, qsizetype size)
    : m_begin(begin)
    , m_end(begin + size)
    , m_p(begin)
    , m_out(size + 16, Qt::Uninitialized)
{
    m_outBegin = m_w = reinterpret_cast<char16_t *>(m_out.data());
    m_outEnd = m_outBegin + m_out.size();
}

// The character at p, p moved past it.
template<Source S> char32_t HtmlText<S>::next(const Unit *&p)
{
    const Unit u = *p;
    if constexpr (S == Source::Utf16) {
        ++p;
        return u;
    } else if constexpr (S == Source::Windows1252) {
        ++p;
        return platform::windows1252(u);
    } else {
        if (u < 0x80) {
            ++p;
            return u;
        }
        const int length = platform::utf8SequenceLength(QByteArrayView(reinterpret_cast<const char *>(p), m_end - p));
        if (length <= 0) {
            m_stray = true;
            ++p;
            return platform::windows1252(u);
        }
        char32_t c = u & (0x7F >> length);
        for (int i = 1; i < length; ++i)
            c = c << 6 | (p[i] & 0x3F);
        p += length;
        return c;
    }
}

template<Source S> void HtmlText<S>::flush()
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
template<Source S> void HtmlText<S>::character(char32_t c, const Unit *next)
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
template<Source S> void HtmlText<S>::copyText()
{
    const Unit *p = m_p;
    char16_t *w = m_w;
    bool space = m_space;
    while (p < m_end) {
        // A run of characters that are copied as they are: one test each.
        const Unit *const run = p;
        while (p < m_end && !stopsText(*p))
            ++p;
        if (p != run) {
            if (space && w != m_outBegin)
                *w++ = u' ';
            space = false;
            w = std::copy(run, p, w);
            if (p == m_end)
                break;
        }
        const Unit u = *p;
        if (u == u'<' || u == u'&')
            break;
        if (u <= u' ') { // a blank: the other stops are markup or above 0x7F
            ++p;
            space = true;
            continue;
        }
        if (space && w != m_outBegin)
            *w++ = u' ';
        space = false;
        const char32_t c = next(p);
        if (QChar::requiresSurrogates(c)) {
            *w++ = QChar::highSurrogate(c);
            *w++ = QChar::lowSurrogate(c);
        } else {
            *w++ = c == 0xA0 ? u' ' : char16_t(c);
        }
    }
    m_p = p;
    m_w = w;
    m_space = space;
}

template<Source S> void HtmlText<S>::lineBreak(bool forced)
{
    m_breaks = forced ? m_breaks + 1 : std::max(m_breaks, 1);
    m_space = false;
}

template<Source S> std::optional<QString> HtmlText<S>::run()
{
    while (m_p < m_end) {
        const Unit u = *m_p;
        if (u == u'<') {
            tag();
        } else if (u == u'&') {
            entity();
        } else if (m_pre == 0 && m_breaks == 0) {
            copyText();
        } else {
            const char32_t c = next(m_p);
            character(c, m_p);
        }
        if (S == Source::Utf8 && m_stray)
            return std::nullopt;
    }
    while (m_w != m_outBegin && (m_w[-1] == u' ' || m_w[-1] == u'\t'))
        --m_w;
    // Not squeezed: the room never written to was never touched, so it
    // costs no memory, and squeezing would copy the whole text.
    m_out.truncate(m_w - m_outBegin);
    return std::move(m_out);
}

template<Source S> auto HtmlText<S>::past(const Unit *p, Unit c) const -> const Unit *
{
    p = std::find(p, m_end, c);
    return p == m_end ? p : p + 1;
}

// Past the end tag of a <script>, <style> or <title>, whose content is not markup.
template<Source S> auto HtmlText<S>::pastEndTag(const Unit *p, const Unit *name, qsizetype length) const -> const Unit *
{
    const auto folded = [](Unit c) { return c >= u'A' && c <= u'Z' ? Unit(c | 0x20) : c; };
    for (;;) {
        p = std::find(p, m_end, Unit(u'<'));
        if (p == m_end)
            return p;
        ++p;
        if (m_end - p - 1 < length || *p != u'/')
            continue;
        bool same = true;
        for (qsizetype i = 0; i < length && same; ++i)
            same = folded(p[1 + i]) == folded(name[i]);
        if (same)
            return past(p, Unit(u'>'));
    }
}

template<Source S> void HtmlText<S>::tag()
{
    const Unit *const q = m_p + 1;
    if (q == m_end || (!isLetter(*q) && *q != u'/' && *q != u'!' && *q != u'?')) {
        m_p = q;
        put(u'<'); // "a < b" and "<3" are text
        return;
    }
    if (*q == u'!' && m_end - q >= 3 && q[1] == u'-' && q[2] == u'-') {
        // From the first dash on, so that "<!-->" ends at once.
        const Unit *r = q + 1;
        while (m_end - r > 2 && !(r[0] == u'-' && r[1] == u'-' && r[2] == u'>'))
            r = std::find(r + 1, m_end, Unit(u'-'));
        m_p = m_end - r > 2 ? r + 3 : m_end;
        return;
    }
    const bool closing = *q == u'/';
    if (*q == u'!' || *q == u'?' || (closing && q + 1 < m_end && !isLetter(q[1]))) {
        m_p = past(q, Unit(u'>')); // a declaration; "</>" and "</ x>" show nothing
        return;
    }
    if (closing && q + 1 == m_end) {
        m_p = q;
        put(u'<');
        return;
    }
    const Unit *const name = closing ? q + 1 : q;
    const Unit *r = name;
    std::uint64_t key = 0;
    bool known = true;
    for (; r < m_end && !isSpace(*r) && *r != u'/' && *r != u'>'; ++r) {
        const unsigned v = *r < 128 ? kFoldedCodes[*r] : 0;
        known = known && v != 0;
        key = key << 6 | v;
    }
    const qsizetype nameLength = r - name;
    if (!known || std::size_t(nameLength) > kMaxName)
        key = 0;
    // To the closing ">". Quotes count only where a value starts, so the
    // apostrophe in <img alt=don't> opens nothing.
    // Each state skips what does not change it in a loop of its own.
    enum { Between, BeforeValue, InValue } state = Between;
    while (r < m_end && *r != u'>') {
        if (state == Between) {
            while (r < m_end && *r != u'>' && *r != u'=')
                ++r;
            if (r < m_end && *r == u'=') {
                ++r;
                state = BeforeValue;
            }
        } else if (state == BeforeValue) {
            while (r < m_end && isSpace(*r))
                ++r;
            if (r < m_end && (*r == u'"' || *r == u'\'')) {
                r = std::find(r + 1, m_end, *r);
                if (r == m_end)
                    break;
                ++r;
                state = Between;
            } else {
                state = InValue;
            }
        } else {
            while (r < m_end && *r != u'>' && !isSpace(*r))
                ++r;
            state = Between;
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
            m_p = pastEndTag(m_p, name, nameLength);
        break;
    }
}

template<Source S> void HtmlText<S>::entity()
{
    const Unit *const p = m_p;
    const Unit *end = p + 1;
    while (end < m_end && end - p <= 32 && *end != u';' && !isSpace(*end) && *end != u'&' && *end != u'<')
        ++end;
    char32_t code = 0;
    if (end < m_end && *end == u';') {
        const Unit *const body = p + 1;
        const qsizetype bodySize = end - body;
        if (bodySize > 0 && *body == u'#') {
            const bool hex = bodySize > 1 && (body[1] == u'x' || body[1] == u'X');
            const Unit *const digits = body + (hex ? 2 : 1);
            char32_t value = 0;
            bool ok = digits < end;
            for (const Unit *d = digits; d < end; ++d) {
                const Unit c = *d;
                const Unit lower = c | 0x20;
                const int v = c >= u'0' && c <= u'9'                  ? c - u'0'
                              : hex && lower >= u'a' && lower <= u'f' ? lower - u'a' + 10
                                                                      : -1;
                ok = ok && v >= 0;
                value = std::min<char32_t>(0x110000, value * (hex ? 16 : 10) + char32_t(std::max(v, 0)));
            }
            if (ok) {
                code = value;
                if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                    code = 0xFFFD;
                else if (code >= 0x80 && code < 0xA0) // Windows text written out as references
                    code = platform::windows1252(static_cast<unsigned char>(code));
            }
        } else {
            code = kEntities.find(nameKey(body, std::size_t(bodySize), false));
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
    return *HtmlText<Source::Utf16>(reinterpret_cast<const char16_t *>(html.utf16()), html.size()).run();
}

std::optional<QString> htmlBytesToText(QByteArrayView html, HtmlBytes encoding)
{
    const auto *units = reinterpret_cast<const unsigned char *>(html.data());
    switch (encoding) {
    case HtmlBytes::Utf8:
        return HtmlText<Source::Utf8>(units, html.size()).run();
    case HtmlBytes::Utf8OrWindows1252:
        return HtmlText<Source::Utf8OrWindows1252>(units, html.size()).run();
    case HtmlBytes::Windows1252:
        return HtmlText<Source::Windows1252>(units, html.size()).run();
    }
    return std::nullopt;
}

} // namespace platform::outlook::mailtext
