#include "platform/outlook/MessageText.h"

#include "platform/text/LegacyText.h"

namespace platform::outlook::mailtext {

namespace {

struct RawMailbox
{
    QByteArray phrase; // the words outside <>, one blank between
    QByteArray bare; // the same words run together: an address without <>
    QByteArray angle;
    QByteArray comment;
    int words = 0;
    bool quoted = false;
    bool hasAngle = false;

    bool isEmpty() const { return words == 0 && !hasAngle && comment.isEmpty(); }
};

bool endsAtom(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '(' || c == '<' || c == ',' || c == ';'
           || c == ':';
}

QByteArray angleAddress(QByteArrayView inner)
{
    QByteArray address;
    address.reserve(inner.size());
    for (char c : inner) {
        if (!isBlank(c) && c != '\r' && c != '\n')
            address += c;
    }
    // An obsolete source route "@relay:user@host" (or "mailto:") precedes the address.
    const qsizetype colon = address.lastIndexOf(':');
    if (colon >= 0)
        address.remove(0, colon + 1);
    return address;
}

// A lenient RFC 5322 address-list reader; names stay raw for our own decoding.
QList<RawMailbox> splitAddressList(QByteArrayView s)
{
    QList<RawMailbox> boxes;
    RawMailbox box;
    auto addWord = [&box](QByteArrayView word, QByteArrayView bareForm) {
        if (!box.phrase.isEmpty())
            box.phrase += ' ';
        box.phrase += word;
        box.bare += bareForm;
        ++box.words;
    };
    auto finish = [&] {
        if (!box.isEmpty())
            boxes.append(std::move(box));
        box = RawMailbox();
    };

    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '"') {
            QByteArray text;
            for (++i; i < n && s[i] != '"'; ++i) {
                if (s[i] == '\\' && i + 1 < n)
                    ++i;
                text += s[i];
            }
            ++i;
            addWord(text, QByteArray('"' + text + '"'));
            box.quoted = true;
        } else if (c == '(') {
            QByteArray text;
            int depth = 1;
            for (++i; i < n; ++i) {
                const char d = s[i];
                if (d == '\\' && i + 1 < n) {
                    text += s[++i];
                    continue;
                }
                if (d == '(')
                    ++depth;
                else if (d == ')' && --depth == 0) {
                    ++i;
                    break;
                }
                text += d;
            }
            if (box.comment.isEmpty())
                box.comment = text.trimmed();
        } else if (c == '<') {
            const qsizetype close = s.indexOf('>', i + 1);
            const qsizetype end = close < 0 ? n : close;
            if (!box.hasAngle) {
                box.angle = angleAddress(s.sliced(i + 1, end - i - 1));
                box.hasAngle = true;
            }
            i = end + 1;
        } else if (c == ',' || c == ';') {
            finish();
            ++i;
        } else if (c == ':') {
            // A group's name; its members follow.
            if (!box.hasAngle)
                box = RawMailbox();
            ++i;
        } else {
            qsizetype j = i + 1;
            while (j < n && !endsAtom(s[j]))
                ++j;
            addWord(s.sliced(i, j - i), s.sliced(i, j - i));
            i = j;
        }
    }
    finish();
    return boxes;
}

} // namespace

QList<MailAddress> parseAddressList(QByteArrayView s)
{
    QList<RawMailbox> boxes = splitAddressList(s);
    QList<MailAddress> addresses;
    for (qsizetype i = 0; i < boxes.size(); ++i) {
        RawMailbox &box = boxes[i];
        const bool noAddress = !box.hasAngle && !box.bare.contains('@');
        // "Bloggs, Joe <joe@example.org>" from mailers that do not quote the comma.
        if (noAddress && box.comment.isEmpty() && i + 1 < boxes.size() && boxes[i + 1].hasAngle
            && !boxes[i + 1].phrase.isEmpty()) {
            boxes[i + 1].phrase.prepend(box.phrase + ", ");
            continue;
        }
        const QByteArray &name = box.phrase.isEmpty() ? box.comment : box.phrase;
        MailAddress address;
        if (box.hasAngle) {
            address.address = textFromBytes(box.angle);
            address.name = decodeHeaderText(name).trimmed();
        } else if (!noAddress || (box.words == 1 && !box.quoted)) {
            address.address = textFromBytes(box.bare); // "root" is a local address
            address.name = decodeHeaderText(box.comment).trimmed();
        } else {
            address.name = decodeHeaderText(name).trimmed();
        }
        if (!address.isEmpty())
            addresses.append(address);
    }
    return addresses;
}

MailAddress firstMailbox(const char *raw)
{
    const QList<MailAddress> list = parseAddressList(unfold(raw));
    return list.isEmpty() ? MailAddress() : list.first();
}

} // namespace platform::outlook::mailtext
