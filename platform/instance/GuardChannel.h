#pragma once
// The stand-in for the first instance's hidden message window: a local
// socket named after the shared block and the owner's process id, on which
// a later start posts a window-message-like triple.
#include <QObject>
#include <QString>

class QLocalServer;

namespace platform {

class GuardListener : public QObject
{
    Q_OBJECT
public:
    explicit GuardListener(QObject *parent = nullptr);
    ~GuardListener() override;

    bool listen(const QString &blockName, qint32 pid);
    void close();

Q_SIGNALS:
    void messageReceived(quint32 message, quint32 wParam, quint32 lParam);

private:
    void acceptConnections();
    QLocalServer *m_server = nullptr;
};

// Like posting a window message it does not wait for the message to be
// handled, so a frozen owner still accepts it. False when nobody listens.
bool postGuardMessage(const QString &blockName, qint32 pid, quint32 message, quint32 wParam, quint32 lParam);

} // namespace platform
