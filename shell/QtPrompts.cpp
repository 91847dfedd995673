#include "shell/QtPrompts.h"

#include "shell/NameOnlyIconProvider.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace {

// Qt's own dialog, never the desktop's: only it takes an icon provider, and
// the desktop's dialogs sniff file contents in this process.
QString runFileDialog(QWidget *parent, QFileDialog::AcceptMode mode, const QString &caption, const QString &filter,
                      const QString &start)
{
    NameOnlyIconProvider icons;
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // A start that names a file opens its folder with the file selected.
    const QFileInfo info(start);
    if (start.isEmpty() || info.isDir()) {
        if (!start.isEmpty())
            dialog.setDirectory(start);
    } else {
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QtPrompts::QtPrompts(QWidget *parent)
    : m_parent(parent)
{
}

Prompts::Answer QtPrompts::confirm(const QString &text)
{
    const auto b = QMessageBox::question(m_parent, QApplication::applicationDisplayName(), text,
                                         QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return b == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtPrompts::information(const QString &text)
{
    QMessageBox::information(m_parent, QApplication::applicationDisplayName(), text);
}

Prompts::Answer QtPrompts::informationOkCancel(const QString &text)
{
    const auto b = QMessageBox::information(m_parent, QApplication::applicationDisplayName(), text,
                                            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok);
    return b == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

void QtPrompts::warning(const QString &text)
{
    QMessageBox::warning(m_parent, QApplication::applicationDisplayName(), text);
}

void QtPrompts::error(const QString &text)
{
    QMessageBox::critical(m_parent, QApplication::applicationDisplayName(), text);
}

void QtPrompts::abortError(const QString &text)
{
    QMessageBox::critical(m_parent, QApplication::applicationDisplayName(), text, QMessageBox::Abort);
}

QString QtPrompts::openFileName(const QString &caption, const QString &filter, const QString &dir)
{
    return runFileDialog(m_parent, QFileDialog::AcceptOpen, caption, filter, dir);
}

QString QtPrompts::saveFileName(const QString &caption, const QString &filter, const QString &dir)
{
    return runFileDialog(m_parent, QFileDialog::AcceptSave, caption, filter, dir);
}

QString QtPrompts::password(const QString &text)
{
    bool ok = false;
    const QString typed
        = QInputDialog::getText(m_parent, QApplication::applicationName(), text, QLineEdit::Password, QString(), &ok);
    return ok ? typed : QString();
}
