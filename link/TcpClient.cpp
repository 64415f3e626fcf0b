#include "TcpClient.h"

#include <QDebug>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Received lines can be long; the debug line shows their start only.
QString logText(const QByteArray &line)
{
    constexpr qsizetype shown = 200;
    if (line.size() <= shown)
        return QString::fromLatin1(line);
    return QString::fromLatin1(line.left(shown)) + QString("... (%1 bytes)").arg(line.size());
}

} // namespace

TcpClient::TcpClient(QObject *parent)
    : QObject(parent), socket(new QTcpSocket(this)), retryTimer(new QTimer(this))
{
    retryTimer->setInterval(RetryMs);
    retryTimer->setSingleShot(false);
    // Bounds what the socket itself buffers between two readyRead calls.
    socket->setReadBufferSize(256 * 1024);
    connect(socket, &QTcpSocket::connected, this, &TcpClient::connected);
    connect(socket, &QTcpSocket::disconnected, this, &TcpClient::disconnected);
    connect(socket, &QTcpSocket::readyRead, this, &TcpClient::readyRead);
    connect(retryTimer, &QTimer::timeout, this, &TcpClient::tryReconnect);
}

TcpClient::~TcpClient()
{
    if (wanted) {
        wanted = false;
        emit statChanged();
    }
    retryTimer->stop();
    socket->disconnect(this);
    if (linked)
        socket->close();
    socket->abort();
}

bool TcpClient::isRetrying() const
{
    return retryTimer->isActive();
}

void TcpClient::startAttempt()
{
    // An attempt still in progress is left to finish.
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void TcpClient::connected()
{
    retryTimer->stop();
    rxBuffer.clear();
    dropping = false;
    // a new connection logs its first line whatever the last one said
    if (repeats > 0)
        qDebug().noquote() << QString("rec: (the line before came %1 more times)").arg(repeats);
    anyLogged = false;
    repeats = 0;
    if (!linked) {
        linked = true;
        emit statChanged();
    }
}

void TcpClient::disconnected()
{
    if (linked) {
        linked = false;
        emit statChanged();
    }
    if (wanted)
        retryTimer->start();
}

void TcpClient::tryReconnect()
{
    if (wanted && !linked) {
        startAttempt();
        emit statChanged();
    } else if (wanted && linked) {
        retryTimer->stop();
        rxBuffer.clear();
        dropping = false;
    } else if (!linked) {
        retryTimer->stop();
    } else {
        retryTimer->stop();
        socket->close();
    }
}

void TcpClient::readyRead()
{
    constexpr qsizetype chunkSize = 64 * 1024;
    while (socket->bytesAvailable() > 0) {
        const QByteArray chunk = socket->read(chunkSize);
        if (chunk.isEmpty())
            break;
        takeBytes(chunk);
    }
}

void TcpClient::takeBytes(const QByteArray &chunk)
{
    qsizetype from = 0;
    while (from < chunk.size()) {
        const qsizetype lf = chunk.indexOf('\n', from);
        const qsizetype end = lf < 0 ? chunk.size() : lf;
        if (!dropping) {
            const qsizetype room = MaxLineBytes - rxBuffer.size();
            const qsizetype n = end - from;
            rxBuffer.append(chunk.constData() + from, qMin(n, room));
            if (n > room) {
                dropping = true;
                qDebug().noquote() << QString("rec: line longer than %1 bytes, excess dropped")
                                          .arg(MaxLineBytes);
            }
        }
        if (lf < 0)
            break;
        const QByteArray line = rxBuffer;
        rxBuffer.clear();
        dropping = false;
        from = lf + 1;
        logReceived(line);
        if (!line.isEmpty())
            emit receiveAnMsg(line);
    }
}

void TcpClient::logReceived(const QByteArray &line)
{
    if (anyLogged && line == lastLogged) {
        ++repeats;
        return;
    }
    if (repeats > 0)
        qDebug().noquote() << QString("rec: (the line before came %1 more times)").arg(repeats);
    qDebug().noquote() << "rec: " + logText(line);
    lastLogged = line;
    anyLogged = true;
    repeats = 0;
}

void TcpClient::doConnect()
{
    if (!wanted) {
        wanted = true;
        emit statChanged();
    }
    startAttempt();
    // A first attempt that fails is retried too, so the link comes up when
    // the peer is started later.
    if (!linked)
        retryTimer->start();
    emit statChanged();
}

void TcpClient::doDisconnect()
{
    if (wanted) {
        wanted = false;
        emit statChanged();
    }
    retryTimer->stop();
    if (linked)
        socket->close();
    else if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->abort();    // give up an attempt still in progress
}

void TcpClient::send(QString msg)
{
    if (!linked)
        return;
    QString shown = msg;
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    qDebug().noquote() << "snd: " + shown;
    socket->write(msg.toLatin1());
}
