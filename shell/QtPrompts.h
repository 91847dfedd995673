#pragma once
#include "core/Prompts.h"

class QWidget;

// Message boxes and file dialogs as the user sees them.
class QtPrompts : public Prompts
{
public:
    explicit QtPrompts(QWidget *parent = nullptr);
    void setParent(QWidget *parent) { m_parent = parent; }

    Answer confirm(const QString &text) override;
    void information(const QString &text) override;
    Answer informationOkCancel(const QString &text) override;
    void warning(const QString &text) override;
    void error(const QString &text) override;
    void abortError(const QString &text) override;
    QString openFileName(const QString &caption, const QString &filter, const QString &dir) override;
    QString saveFileName(const QString &caption, const QString &filter, const QString &dir) override;
    QString password(const QString &text) override;

private:
    QWidget *m_parent;
};
