#pragma once
// The few vCard properties the program reads from a contacts folder.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace platform::outlook {

struct VCardContact
{
    QString fullName;    // FN
    QString nickname;    // NICKNAME
    QStringList emails;  // every EMAIL, in file order
};

// Every vCard in the text (2.1, 3.0 and 4.0; folded lines, any line ends).
QList<VCardContact> readVCards(const QByteArray &text);

} // namespace platform::outlook
