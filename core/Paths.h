#pragma once
#include <QString>

// The directory of the executable, ending in a separator: everything up to
// and including the last separator, trimmed.
QString programDirectory(const QString &executablePath);
