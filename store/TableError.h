#pragma once
#include <QString>

#include <stdexcept>

// How every table operation reports failure; the code is SQLite's, when
// SQLite gave one.
class TableError : public std::runtime_error
{
public:
    explicit TableError(const QString &message, int code = 0);
    QString message() const { return QString::fromUtf8(what()); }
    int code() const { return m_code; }

private:
    int m_code;
};
