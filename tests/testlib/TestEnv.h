#pragma once
// Gives each test program its own HOME, configuration directory and program
// directory, so tests never touch the user's files and can run in parallel.
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

class TestEnv
{
public:
    TestEnv()
    {
        Q_ASSERT(m_root.isValid());
        QDir root(m_root.path());
        root.mkpath(QStringLiteral("home"));
        root.mkpath(QStringLiteral("config"));
        root.mkpath(QStringLiteral("program"));
        qputenv("HOME", root.filePath(QStringLiteral("home")).toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toLocal8Bit());
    }

    QString root() const { return m_root.path(); }
    QString home() const { return QDir(m_root.path()).filePath(QStringLiteral("home")); }
    QString configDir() const { return QDir(m_root.path()).filePath(QStringLiteral("config")); }
    // Ends in a slash, as the program directory does.
    QString programDir() const { return QDir(m_root.path()).filePath(QStringLiteral("program")) + QLatin1Char('/'); }

private:
    QTemporaryDir m_root;
};
