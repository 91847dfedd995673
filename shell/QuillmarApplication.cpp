#include "shell/QuillmarApplication.h"

#include "core/Prompts.h"

#include <QMessageBox>

#include <exception>

QuillmarApplication::QuillmarApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

void QuillmarApplication::reportFailure(const QString &text)
{
    // A failure inside the report's own message box is not reported again.
    if (m_reporting)
        return;
    m_reporting = true;
    if (m_prompts)
        m_prompts->error(text);
    else
        QMessageBox::critical(nullptr, applicationDisplayName(), text);
    m_reporting = false;
}

bool QuillmarApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        reportFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        reportFailure(QStringLiteral("An unexpected error occurred."));
    }
    return false;
}
