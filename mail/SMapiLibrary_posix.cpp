#include "mail/SMapiLibrary.h"

#include <QFile>

#include <dlfcn.h>

namespace {

// "mapi32" and "mapi32.dll" both name libmapi32.so.
QStringList candidates(const QStringList &names, const QString &programDir)
{
    QStringList out;
    for (QString name : names) {
        if (name.endsWith(QLatin1String(".dll"), Qt::CaseInsensitive))
            name.chop(4);
        const QString file = QStringLiteral("lib") + name + QStringLiteral(".so");
        QString dir = programDir;
        if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
            dir += QLatin1Char('/');
        for (const QString &candidate : {dir + file, file}) {
            if (!candidate.isEmpty() && !out.contains(candidate))
                out.append(candidate);
        }
    }
    return out;
}

} // namespace

SMapiLibrary::~SMapiLibrary()
{
    ::dlclose(m_handle);
}

SMapiLibrary *SMapiLibrary::load(const QStringList &names, const QString &programDir)
{
    for (const QString &candidate : candidates(names, programDir)) {
        if (void *handle = ::dlopen(QFile::encodeName(candidate).constData(), RTLD_NOW | RTLD_LOCAL))
            return new SMapiLibrary(handle, candidate);
    }
    return nullptr;
}

void *SMapiLibrary::symbol(const char *name) const
{
    return ::dlsym(m_handle, name);
}

std::optional<bool> SMapiLibrary::legacyMailFlag()
{
    return std::nullopt;
}

QByteArray SMapiLibrary::toLibraryText(const QString &text)
{
    return text.toUtf8();
}

QString SMapiLibrary::fromLibraryText(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}
