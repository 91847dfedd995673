#include "platform/richtext/RtfState.h"

#include <algorithm>

namespace platform::richtext {

namespace {

constexpr int kMaxFallback = 16;

} // namespace

bool applyProperty(const Keyword &k, bool hasParam, int param, State &s)
{
    CharProps &c = s.chars;
    ParaProps &p = s.para;
    const bool on = !hasParam || param != 0;
    switch (k.kind) {
    case Kw::Pard:
        p = ParaProps();
        break;
    case Kw::Plain:
        c = CharProps();
        break;
    case Kw::Bold:
        c.bold = on;
        break;
    case Kw::Italic:
        c.italic = on;
        break;
    case Kw::Underline:
        c.underline = on;
        break;
    case Kw::UnderlineNone:
        c.underline = false;
        break;
    case Kw::Strike:
        c.strike = on;
        break;
    case Kw::Hidden:
        c.hidden = on;
        break;
    case Kw::FontSize:
        if (param > 0)
            c.size = std::min(param, 3276);
        break;
    case Kw::Font:
        c.font = param;
        break;
    case Kw::Fg:
        c.fg = hasParam ? param : -1;
        break;
    case Kw::Bg:
        c.bg = hasParam ? param : -1;
        break;
    case Kw::Super:
        c.vertical = 1;
        break;
    case Kw::Sub:
        c.vertical = -1;
        break;
    case Kw::NoSuperSub:
        c.vertical = 0;
        break;
    case Kw::Uc:
        if (hasParam)
            s.uc = std::clamp(param, 0, kMaxFallback);
        break;
    case Kw::AlignLeft:
        p.align = Qt::AlignLeft;
        break;
    case Kw::AlignCenter:
        p.align = Qt::AlignHCenter;
        break;
    case Kw::AlignRight:
        p.align = Qt::AlignRight;
        break;
    case Kw::AlignJustify:
        p.align = Qt::AlignJustify;
        break;
    case Kw::Left:
        p.left = param;
        break;
    case Kw::Right:
        p.right = param;
        break;
    case Kw::Indent:
        p.indent = param;
        break;
    case Kw::Before:
        p.before = param;
        break;
    case Kw::After:
        p.after = param;
        break;
    case Kw::Outline:
        p.heading = param >= 0 && param < 6 ? param + 1 : 0;
        break;
    default:
        return false;
    }
    return true;
}

} // namespace platform::richtext
