#include "platform/richtext/RtfText.h"

#include "platform/text/LegacyText.h"

#include <QStringDecoder>

namespace platform::richtext {

namespace {

// Word marks bullets with a few bytes of these fonts; other bytes keep
// their Latin-1 meaning, which reads better than nothing.
char16_t symbolChar(unsigned char b, SymbolFont font)
{
    if (font == SymbolFont::Wingdings) {
        switch (b) {
        case 0x6E:
            return 0x25A0;
        case 0x71:
            return 0x2751;
        case 0x76:
            return 0x2756;
        case 0xA7:
            return 0x25AA;
        case 0xD8:
            return 0x27A2;
        case 0xFC:
            return 0x2713;
        default:
            break;
        }
    }
    return b == 0xB7 ? char16_t(0x2022) : char16_t(b);
}

QByteArray encodingName(int codePage)
{
    switch (codePage) {
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 866:
        return "IBM866";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 10000:
        return "macintosh";
    case 20866:
        return "KOI8-R";
    default:
        break;
    }
    if (codePage == 874 || (codePage >= 1250 && codePage <= 1258))
        return "windows-" + QByteArray::number(codePage);
    return "cp" + QByteArray::number(codePage);
}

} // namespace

int codePageOfCharset(int charset)
{
    switch (charset) {
    case 0:
        return 1252;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;
    }
}

ByteDecoder::ByteDecoder() = default;
ByteDecoder::~ByteDecoder() = default;

QStringDecoder *ByteDecoder::decoderFor(int codePage)
{
    auto it = m_decoders.find(codePage);
    if (it == m_decoders.end()) {
        auto decoder = std::make_unique<QStringDecoder>(encodingName(codePage).constData());
        if (!decoder->isValid())
            decoder.reset();
        it = m_decoders.emplace(codePage, std::move(decoder)).first;
    }
    return it->second.get();
}

QString ByteDecoder::decode(QByteArrayView bytes, int codePage, SymbolFont symbols)
{
    if (symbols != SymbolFont::None) {
        QString text(bytes.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            text[i] = QChar(symbolChar(static_cast<unsigned char>(bytes[i]), symbols));
        return text;
    }
    if (codePage == 65001)
        return QString::fromUtf8(bytes);
    if (codePage != 1252 && codePage != 0) {
        if (QStringDecoder *decoder = decoderFor(codePage)) {
            decoder->resetState();
            return decoder->decode(bytes);
        }
    }
    return fromWindows1252(bytes);
}

} // namespace platform::richtext
