#pragma once
// Text from bytes written by older Windows software: windows-1252 where it
// is not UTF-8. The five bytes windows-1252 leaves undefined map to the C1
// control of the same value, as Windows does, so every byte survives.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace platform {

QString fromWindows1252(QByteArrayView bytes);
char16_t windows1252(unsigned char byte);
// The length of the well-formed UTF-8 sequence the bytes begin with: 0 for
// none, -1 for one that is valid so far and cut short by their end.
int utf8SequenceLength(QByteArrayView bytes);
// Empty when the bytes are not valid UTF-8.
std::optional<QString> fromStrictUtf8(QByteArrayView bytes);
// Well-formed UTF-8 as UTF-8 and each stray byte as windows-1252, so one
// stray byte in UTF-8 text costs that byte's character only.
QString textFromBytes(QByteArrayView bytes);

// Whether a byte stream, fed in pieces of any size, is well-formed UTF-8.
class Utf8Check
{
public:
    void feed(QByteArrayView bytes);
    // Already known not to be, whatever follows.
    bool failed() const { return !m_valid; }
    // At the end of the stream.
    bool isValid() const { return m_valid && m_pending.isEmpty(); }

private:
    QByteArray m_pending; // a sequence cut at the end of a piece
    bool m_valid = true;
};

} // namespace platform
