#pragma once
#include <QFileIconProvider>

// Icons and type names for the file dialogs, judged by a file's name alone.
// Qt's own provider opens each listed file to sniff its type, and closing
// those descriptors drops the locks this process holds on the list file.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
};
