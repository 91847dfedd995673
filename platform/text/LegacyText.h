#pragma once
// Text from bytes written by older Windows software: windows-1252 where it
// is not UTF-8. The five bytes windows-1252 leaves undefined map to the C1
// control of the same value, as Windows does, so every byte survives.
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace platform {

QString fromWindows1252(QByteArrayView bytes);
// Empty when the bytes are not valid UTF-8.
std::optional<QString> fromStrictUtf8(QByteArrayView bytes);
// UTF-8 when the bytes are valid UTF-8, else windows-1252.
QString textFromBytes(QByteArrayView bytes);

} // namespace platform
