#pragma once
// One line of the error list: the request that failed, as the entry operation
// got it, and why it failed, as its log line says: action word, address,
// category, " -> ", reason. A bounce's line has no category.
#include <QString>

struct ErrorRequest
{
    bool add = true;
    QString address;
    QString category;
    QString reason;
};

QString errorLine(const QString &action, const QString &address, const QString &category, const QString &reason);
QString bounceErrorLine(const QString &address, const QString &reason);

// Reads a line back. The address may hold blanks and quotes (a display name
// that never became an address): it runs to the end of the word holding its
// last at sign. Lines written before reasons were kept have none.
ErrorRequest parseErrorLine(const QString &line);
