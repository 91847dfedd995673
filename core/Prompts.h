#pragma once
// The one seam through which every message box and file dialog goes, so a
// test can answer them. The program installs QtPrompts; tests a scripted one.
#include <QString>
#include <QStringList>

class Prompts
{
public:
    enum class Answer { Yes, No, Ok, Cancel };

    virtual ~Prompts() = default;

    // Confirmation box with Yes and No.
    virtual Answer confirm(const QString &text) = 0;
    virtual void information(const QString &text) = 0;
    // Information box with OK and Cancel; anything but OK cancels.
    virtual Answer informationOkCancel(const QString &text)
    {
        return confirm(text) == Answer::Yes ? Answer::Ok : Answer::Cancel;
    }
    virtual void warning(const QString &text) = 0;
    virtual void error(const QString &text) = 0;
    // An error box whose only button is Abort.
    virtual void abortError(const QString &text) { error(text); }
    // Empty when the user cancels.
    virtual QString openFileName(const QString &caption, const QString &filter, const QString &dir) = 0;
    virtual QString saveFileName(const QString &caption, const QString &filter, const QString &dir) = 0;
    // A password typed into a box that hides it; empty when the user cancels.
    virtual QString password(const QString &text)
    {
        Q_UNUSED(text);
        return {};
    }
};
