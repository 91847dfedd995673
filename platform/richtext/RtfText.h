#pragma once
// The 8-bit text of rich-text files: bytes in the code page that the document
// or the current font declares, and the symbol fonts' bullets.
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <unordered_map>

class QStringDecoder;

namespace platform::richtext {

enum class SymbolFont : unsigned char { None, Symbol, Wingdings };

// The code page of a font's \fcharset, or 0 when the charset names none.
int codePageOfCharset(int charset);

class ByteDecoder
{
public:
    ByteDecoder();
    ~ByteDecoder();
    ByteDecoder(const ByteDecoder &) = delete;
    ByteDecoder &operator=(const ByteDecoder &) = delete;

    // Unknown code pages read as windows-1252, so no byte is ever lost.
    QString decode(QByteArrayView bytes, int codePage, SymbolFont symbols);

private:
    QStringDecoder *decoderFor(int codePage);
    std::unordered_map<int, std::unique_ptr<QStringDecoder>> m_decoders;
};

} // namespace platform::richtext
