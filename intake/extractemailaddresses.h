#pragma once
#include <QString>
#include <QStringList>

#include <functional>

using AddressTest = std::function<bool(const QString &)>;

// Appends the addresses found in one line, in order, duplicates kept.
void extractfromline(const QString &line, QStringList &list, const AddressTest &valid);
// Clears the list, then reads every line in order.
void extractemailaddresses(const QStringList &lines, QStringList &list, const AddressTest &valid);
