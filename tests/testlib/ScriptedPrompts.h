#pragma once
// A Prompts that answers from a script and records every question, so tests
// can drive modal flows and assert on exactly what the user was shown.
#include "core/Prompts.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <functional>

class ScriptedPrompts : public Prompts
{
public:
    enum class Kind { Confirm, Information, Warning, Error, OpenFile, SaveFile };

    struct Call
    {
        Kind kind;
        QString text; // the message, or the caption of a file dialog
        QString filter = {};
        QString dir = {};
        bool operator==(const Call &other) const { return kind == other.kind && text == other.text; }
    };

    // Unqueued confirmations answer No and unqueued file dialogs are
    // cancelled, so an unexpected question cannot make a test act.
    void queueConfirm(Answer answer) { m_confirms.enqueue(answer); }
    void queueFileName(const QString &name) { m_fileNames.enqueue(name); }

    // Runs on each call before it answers, e.g. to look at state mid-flow.
    std::function<void(const Call &)> onCall;

    const QList<Call> &calls() const { return m_calls; }
    QStringList texts(Kind kind) const
    {
        QStringList out;
        for (const Call &c : m_calls) {
            if (c.kind == kind)
                out.append(c.text);
        }
        return out;
    }
    QStringList warnings() const { return texts(Kind::Warning); }
    int pendingAnswers() const { return int(m_confirms.size() + m_fileNames.size()); }
    void clear()
    {
        m_calls.clear();
        m_confirms.clear();
        m_fileNames.clear();
    }

    Answer confirm(const QString &text) override
    {
        record({Kind::Confirm, text});
        return m_confirms.isEmpty() ? Answer::No : m_confirms.dequeue();
    }
    void information(const QString &text) override { record({Kind::Information, text}); }
    void warning(const QString &text) override { record({Kind::Warning, text}); }
    void error(const QString &text) override { record({Kind::Error, text}); }
    QString openFileName(const QString &caption, const QString &filter, const QString &dir) override
    {
        record({Kind::OpenFile, caption, filter, dir});
        return m_fileNames.isEmpty() ? QString() : m_fileNames.dequeue();
    }
    QString saveFileName(const QString &caption, const QString &filter, const QString &dir) override
    {
        record({Kind::SaveFile, caption, filter, dir});
        return m_fileNames.isEmpty() ? QString() : m_fileNames.dequeue();
    }

private:
    void record(const Call &call)
    {
        m_calls.append(call);
        if (onCall)
            onCall(call);
    }

    QList<Call> m_calls;
    QQueue<Answer> m_confirms;
    QQueue<QString> m_fileNames;
};
