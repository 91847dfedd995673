#pragma once
// Small helpers most tests use: UTF-8 literals as text, a file's bytes.
#include <QByteArray>
#include <QFile>
#include <QString>

inline QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

// Empty when the file cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
