#include "shell/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

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
    return QFileDialog::getOpenFileName(m_parent, caption, dir, filter);
}

QString QtPrompts::saveFileName(const QString &caption, const QString &filter, const QString &dir)
{
    return QFileDialog::getSaveFileName(m_parent, caption, dir, filter);
}
