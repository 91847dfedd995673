#pragma once
#include <QApplication>

class Prompts;

// The application's general error report: a failure that no operation
// caught is shown with its own text, and the program goes on.
class QuillmarApplication : public QApplication
{
public:
    QuillmarApplication(int &argc, char **argv);
    void setPrompts(Prompts *prompts) { m_prompts = prompts; }
    bool notify(QObject *receiver, QEvent *event) override;

    // Shows a failure's text; for callers that catch at the top themselves.
    void reportFailure(const QString &text);

private:
    Prompts *m_prompts = nullptr;
    bool m_reporting = false;
};
