#pragma once
// The control words of rich text that change what a reader shows.
#include <string_view>

namespace platform::richtext {

enum class Kw : unsigned char {
    Par,
    Char,
    Cell,
    Row,
    Pard,
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    Hidden,
    FontSize,
    Font,
    Fg,
    Bg,
    Super,
    Sub,
    NoSuperSub,
    Uc,
    U,
    Bin,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    Left,
    Right,
    Indent,
    Before,
    After,
    Outline,
    AnsiCpg,
    Mac,
    Pc,
    Pca,
    DefaultFont,
    FontTable,
    Charset,
    Cpg,
    ColorTable,
    Red,
    Green,
    Blue,
    SkipDest
};

struct Keyword
{
    Kw kind;
    char16_t ch = 0; // the character a Kw::Char word stands for
};

// Null for a word this reader ignores.
const Keyword *findKeyword(std::string_view name);

} // namespace platform::richtext
