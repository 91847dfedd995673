#pragma once
// The names HTML to text looks up: which tags break lines or hide their
// content, and the character entities. Each name becomes one number, and
// each table a slot per name, so a look-up allocates nothing. Only the
// converter includes this.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform::outlook::mailtext::htmlnames {

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
template<typename Unit> constexpr std::uint64_t nameKey(const Unit *name, std::size_t size, bool foldCase)
{
    if (size == 0 || size > kMaxName)
        return 0;
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const Unit c = name[i];
        const unsigned v = c < 128 ? (foldCase ? kFoldedCodes : kCodes)[c] : 0;
        if (v == 0)
            return 0;
        key = key << 6 | v;
    }
    return key;
}

template<typename T> struct Named
{
    std::uint64_t key;
    T value;
};

// Each name in a slot of its own, so that a look-up is one load and one
// comparison; the multiplier that spreads them is searched for at compile time.
template<typename T> struct NameTable
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

template<typename T, std::size_t N> constexpr NameTable<T> perfectTable(const Named<T> (&entries)[N])
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
    return {nameKey(name.data(), name.size(), true), kind};
}

constexpr Named<Tag> kTagList[] = {
    tag(u"p", Tag::Block),          tag(u"div", Tag::Block),     tag(u"h1", Tag::Block),
    tag(u"h2", Tag::Block),         tag(u"h3", Tag::Block),      tag(u"h4", Tag::Block),
    tag(u"h5", Tag::Block),         tag(u"h6", Tag::Block),      tag(u"li", Tag::Block),
    tag(u"ul", Tag::Block),         tag(u"ol", Tag::Block),      tag(u"dl", Tag::Block),
    tag(u"dt", Tag::Block),         tag(u"dd", Tag::Block),      tag(u"tr", Tag::Block),
    tag(u"td", Tag::Block),         tag(u"th", Tag::Block),      tag(u"table", Tag::Block),
    tag(u"blockquote", Tag::Block), tag(u"hr", Tag::Block),      tag(u"address", Tag::Block),
    tag(u"center", Tag::Block),     tag(u"form", Tag::Block),    tag(u"section", Tag::Block),
    tag(u"article", Tag::Block),    tag(u"header", Tag::Block),  tag(u"footer", Tag::Block),
    tag(u"nav", Tag::Block),        tag(u"aside", Tag::Block),   tag(u"figure", Tag::Block),
    tag(u"main", Tag::Block),       tag(u"body", Tag::Block),    tag(u"caption", Tag::Block),
    tag(u"tbody", Tag::Block),      tag(u"thead", Tag::Block),   tag(u"br", Tag::Break),
    tag(u"pre", Tag::Pre),          tag(u"script", Tag::Hidden), tag(u"style", Tag::Hidden),
    tag(u"title", Tag::Hidden),     tag(u"tfoot", Tag::Block),
};
constexpr auto kTags = perfectTable(kTagList);

constexpr Named<char32_t> entity(std::u16string_view name, char32_t code)
{
    return {nameKey(name.data(), name.size(), false), code};
}

constexpr Named<char32_t> kEntityList[] = {
    entity(u"amp", U'&'),     entity(u"lt", U'<'),       entity(u"gt", U'>'),      entity(u"quot", U'"'),
    entity(u"apos", U'\''),   entity(u"nbsp", 0xA0),     entity(u"copy", 0xA9),    entity(u"reg", 0xAE),
    entity(u"trade", 0x2122), entity(u"hellip", 0x2026), entity(u"mdash", 0x2014), entity(u"ndash", 0x2013),
    entity(u"lsquo", 0x2018), entity(u"rsquo", 0x2019),  entity(u"ldquo", 0x201C), entity(u"rdquo", 0x201D),
    entity(u"laquo", 0xAB),   entity(u"raquo", 0xBB),    entity(u"bull", 0x2022),  entity(u"middot", 0xB7),
    entity(u"euro", 0x20AC),  entity(u"pound", 0xA3),    entity(u"deg", 0xB0),     entity(u"shy", 0xAD),
    entity(u"eacute", 0xE9),  entity(u"egrave", 0xE8),   entity(u"agrave", 0xE0),  entity(u"auml", 0xE4),
    entity(u"ouml", 0xF6),    entity(u"uuml", 0xFC),     entity(u"Auml", 0xC4),    entity(u"Ouml", 0xD6),
    entity(u"Uuml", 0xDC),    entity(u"szlig", 0xDF),    entity(u"ccedil", 0xE7),  entity(u"ntilde", 0xF1),
    entity(u"zwnj", 0x200C),  entity(u"zwj", 0x200D),    entity(u"times", 0xD7),   entity(u"Eacute", 0xC9),
    entity(u"iexcl", 0xA1),   entity(u"iquest", 0xBF),   entity(u"sect", 0xA7),    entity(u"cent", 0xA2),
    entity(u"yen", 0xA5),
};
constexpr auto kEntities = perfectTable(kEntityList);

} // namespace platform::outlook::mailtext::htmlnames
