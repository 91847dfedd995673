// Build tool: writes the empty mailing-list table placed beside the program.
#include "store/MLSchema.h"
#include "store/MLTable.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: mkmailist FILE\n");
        return 2;
    }
    if (QFile::exists(args.at(1)))
        return 0; // never replace a list that is already there
    try {
        createMailingListFile(args.at(1));
    } catch (const TableError &e) {
        std::fprintf(stderr, "mkmailist: %s\n", e.what());
        return 1;
    }
    return 0;
}
