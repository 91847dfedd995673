#include "platform/instance/GuardChannel.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>

namespace platform {

namespace {

constexpr int MessageBytes = 12;
constexpr int PostTimeoutMs = 1000;

// Socket paths are short (about 100 bytes), executable names need not be.
QString socketName(const QString &blockName, qint32 pid)
{
    QString base = blockName.startsWith(QLatin1Char('/')) ? blockName.mid(1) : blockName;
    if (base.size() > 60)
        base
            = QStringLiteral("quillmar-")
              + QString::fromLatin1(QCryptographicHash::hash(base.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    return base + QLatin1Char('.') + QString::number(pid);
}

} // namespace

GuardListener::GuardListener(QObject *parent)
    : QObject(parent)
{
}

GuardListener::~GuardListener() = default;

bool GuardListener::listen(const QString &blockName, qint32 pid)
{
    close();
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = socketName(blockName, pid);
    // The name holds our own process id, so an existing socket is a leftover.
    QLocalServer::removeServer(name);
    if (!m_server->listen(name)) {
        delete m_server;
        m_server = nullptr;
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &GuardListener::acceptConnections);
    return true;
}

void GuardListener::close()
{
    delete m_server;
    m_server = nullptr;
}

void GuardListener::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->bytesAvailable() >= MessageBytes) {
                QDataStream in(socket->read(MessageBytes));
                quint32 message = 0, wParam = 0, lParam = 0;
                in >> message >> wParam >> lParam;
                Q_EMIT messageReceived(message, wParam, lParam);
            }
        });
    }
}

bool postGuardMessage(const QString &blockName, qint32 pid, quint32 message, quint32 wParam, quint32 lParam)
{
    QLocalSocket socket;
    socket.connectToServer(socketName(blockName, pid));
    if (!socket.waitForConnected(PostTimeoutMs))
        return false;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << message << wParam << lParam;
    socket.write(bytes);
    socket.flush();
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(PostTimeoutMs))
            return false;
    socket.disconnectFromServer();
    return true;
}

} // namespace platform
