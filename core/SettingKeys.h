#pragma once
// The one table of stored settings, walked by loading, saving and Settings():
// each key names its registry value once, with its kind, its Settings member,
// the default for a value missing from an opened key and the built-in
// starting value.
#include "core/Settings.h"

#include <QString>
#include <span>
#include <variant>

namespace settingkeys {

// A text's default: a fixed text, or the value of another text setting.
struct TextDefault
{
    constexpr TextDefault(const char *fixed)
        : text(fixed)
    {
    }
    constexpr TextDefault(QString Settings::*other)
        : sameAs(other)
    {
    }
    const char *text = nullptr;
    QString Settings::*sameAs = nullptr;
};

// Stored as is; an empty text counts as missing.
struct Text
{
    QString Settings::*member;
    TextDefault missing;
    const char *start;

    void load(Settings &s, const QString &stored) const;
    QString stored(const Settings &s) const { return s.*member; }
    void reset(Settings &s) const;
};

// Written "true" or "False"; read as TRUE or FALSE in any letter case.
struct Flag
{
    bool Settings::*member;
    bool missing;
    bool start;

    void load(Settings &s, const QString &stored) const;
    QString stored(const Settings &s) const;
    void reset(Settings &s) const { s.*member = start; }
};

// Decimal text.
struct Number
{
    int Settings::*member;
    int missing;
    int start;

    void load(Settings &s, const QString &stored) const;
    QString stored(const Settings &s) const { return QString::number(s.*member); }
    void reset(Settings &s) const { s.*member = start; }
};

struct Key
{
    const char *name; // exactly as stored, blanks included
    std::variant<Text, Flag, Number> field;
    int loadStep; // place in the reading order, from 1

    QString valueName() const { return QString::fromLatin1(name); }
    // Also gives a text that defaults to this value that default while it is
    // still empty; such a text is read earlier, as stored.
    void load(Settings &s, const QString &stored) const;
    QString stored(const Settings &s) const;
    void reset(Settings &s) const;
    bool holds(bool Settings::*member) const;
};

// The fixed default of a text setting: what an empty text stands for.
QString textDefault(QString Settings::*member);

// In the order SaveEntries writes them.
std::span<const Key> keys();
// In the order Loadentries reads them.
std::span<const Key *const> loadOrder();

} // namespace settingkeys
