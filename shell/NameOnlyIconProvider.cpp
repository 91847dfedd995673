#include "shell/NameOnlyIconProvider.h"

#include <QFileInfo>
#include <QMimeDatabase>

QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const
{
    if (info.isRoot())
        return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString NameOnlyIconProvider::type(const QFileInfo &info) const
{
    if (info.isRoot() || info.isDir())
        return QFileIconProvider::type(info);
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    if (!mime.isDefault())
        return mime.comment();
    return info.suffix().isEmpty() ? QStringLiteral("File") : QStringLiteral("%1 File").arg(info.suffix());
}
