#pragma once
#include <QString>

// Writes a new, empty mailing-list table file; the program itself never
// does this, the build and the tests do. Throws TableError on failure.
void createMailingListFile(const QString &path);
