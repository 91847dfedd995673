#pragma once
// What a group of rich text carries: its destination and the character and
// paragraph properties that its closing brace restores.
#include "platform/richtext/RtfDocument.h"
#include "platform/richtext/RtfKeywords.h"

namespace platform::richtext {

enum class Dest : unsigned char { Text, Skip, FontTable, ColorTable };

struct State
{
    Dest dest = Dest::Text;
    int uc = 1; // fallback characters after each \uN
    CharProps chars;
    ParaProps para;
};

// Applies a word that only changes properties; false for any other word.
bool applyProperty(const Keyword &k, bool hasParam, int param, State &s);

} // namespace platform::richtext
