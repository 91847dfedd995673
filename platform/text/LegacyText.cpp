#include "platform/text/LegacyText.h"

#include <QStringDecoder>

#include <algorithm>

namespace platform {

namespace {
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// How many bytes a sequence starting with this byte has, 0 for a byte that
// starts none; the allowed range of the second byte rules out overlong
// forms, surrogates and code points above U+10FFFF.
int expectedLength(unsigned char lead, unsigned char *secondLow, unsigned char *secondHigh)
{
    *secondLow = 0x80;
    *secondHigh = 0xBF;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (lead == 0xE0)
            *secondLow = 0xA0;
        else if (lead == 0xED)
            *secondHigh = 0x9F;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (lead == 0xF0)
            *secondLow = 0x90;
        else if (lead == 0xF4)
            *secondHigh = 0x8F;
        return 4;
    }
    return 0;
}

} // namespace

char16_t windows1252(unsigned char b)
{
    return (b >= 0x80 && b < 0xA0) ? kWindows1252High[b - 0x80] : char16_t(b);
}

int utf8SequenceLength(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return 0;
    unsigned char low, high;
    const int length = expectedLength(static_cast<unsigned char>(bytes[0]), &low, &high);
    for (int i = 1; i < length; ++i) {
        if (i >= bytes.size())
            return -1;
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (i == 1 ? (b < low || b > high) : !isContinuation(b))
            return 0;
    }
    return length;
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(text.data());
    for (const char c : bytes)
        *out++ = windows1252(static_cast<unsigned char>(c));
    return text;
}

std::optional<QString> fromStrictUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString textFromBytes(QByteArrayView bytes)
{
    if (std::optional<QString> text = fromStrictUtf8(bytes))
        return *std::move(text);
    QString out;
    out.reserve(bytes.size());
    qsizetype run = 0; // start of the well-formed bytes not yet decoded
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = utf8SequenceLength(bytes.sliced(i));
        if (length > 0) {
            i += length;
            continue;
        }
        out += QString::fromUtf8(bytes.sliced(run, i - run));
        out += QChar(windows1252(static_cast<unsigned char>(bytes[i])));
        run = ++i;
    }
    out += QString::fromUtf8(bytes.sliced(run));
    return out;
}

void Utf8Check::feed(QByteArrayView bytes)
{
    if (!m_valid)
        return;
    if (!m_pending.isEmpty()) {
        const qsizetype held = m_pending.size();
        m_pending += bytes.first(std::min<qsizetype>(bytes.size(), 4 - held));
        const int length = utf8SequenceLength(m_pending);
        if (length < 0)
            return; // still cut short: the piece was tiny
        if (length == 0) {
            m_valid = false;
            return;
        }
        bytes = bytes.sliced(length - held);
        m_pending.clear();
    }
    for (qsizetype i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const int length = utf8SequenceLength(bytes.sliced(i));
        if (length == 0) {
            m_valid = false;
            return;
        }
        if (length < 0) {
            m_pending = bytes.sliced(i).toByteArray();
            return;
        }
        i += length;
    }
}

} // namespace platform
