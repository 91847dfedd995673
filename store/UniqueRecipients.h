#pragma once
// The addresses one mailing goes to: every entry under a category prefix,
// each once, in the order the user's language sorts them.
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

class MLTable;

// Blanks and control characters cut from both ends.
QString strippedAddress(QStringView text);

// Called once per entry read, before it is taken, with the number read so far.
using RecipientProgress = std::function<void(int read, const QString &address)>;

// Entries whose category begins with categoryPrefix (a to z folded, as the
// table's filter compares), all entries when it is empty, read in the
// table's current order. Duplicates are found by the user's locale ignoring
// letter case; of those the first met is kept. A blank entry gives one empty
// item. Throws TableError.
QStringList uniqueRecipients(const MLTable &table, const QString &categoryPrefix,
                             const RecipientProgress &progress = {});

// The part of a unique list (as uniqueRecipients gives it) that sorts after
// lastPlaced in the same order, whether or not lastPlaced is still listed:
// where a mailing broken off after lastPlaced goes on.
QStringList recipientsAfter(const QStringList &unique, const QString &lastPlaced);
