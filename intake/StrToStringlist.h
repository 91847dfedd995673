#pragma once
#include <QString>
#include <QStringList>

// Splits text at a delimiter into trimmed tokens, dropping empty tokens and
// the words "me" and "re:" in any letter case, so "Re: subscribe me" reads
// as the one word "subscribe". The list is cleared first.
void StrToStringlist(QStringList &list, const QString &text, const QString &delimiter);
