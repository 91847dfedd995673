#pragma once
// Writes the entries of the list to a delimited text file: the export
// dialog's work and the backup file's.
#include "core/Progress.h"

#include <QString>

class MLTable;
class Prompts;

// Every entry of the table in its current ordering, whatever the category
// filter, one line each: the chosen fields of address, category and comments
// in that order, each followed by the delimiter, unquoted, CR LF at the end.
// The file is replaced only once it is complete. Reports its own failures
// through prompts, with the reason and the file on a line of their own.
// Returns true when the file was written. A stop asked for between entries
// leaves the file as it was, and says how far the export had come.
bool exportlist(MLTable &table, Prompts &prompts, const ProgressFn &showprogress, const QString &fileName,
                bool withEmail, bool withCategory, bool withComments, const QString &delimiter,
                const StopQuery &stopped = {});
