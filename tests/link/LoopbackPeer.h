#pragma once
// A stand-in for the viewer in the link tests: a TCP server on the loopback
// interface that collects the lines it receives and writes what it is told.
#include <QByteArray>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

class LoopbackPeer : public QObject
{
public:
    QTcpServer server;
    QPointer<QTcpSocket> conn;
    QStringList lines;      // received lines, line feed removed
    int accepted = 0;

    LoopbackPeer()
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                ++accepted;
                conn = s;
                connect(s, &QTcpSocket::readyRead, this, [this, s] {
                    buf += s->readAll();
                    qsizetype lf;
                    while ((lf = buf.indexOf('\n')) >= 0) {
                        lines << QString::fromLatin1(buf.left(lf));
                        buf.remove(0, lf + 1);
                    }
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    bool listen(quint16 port = 0) { return server.listen(QHostAddress::LocalHost, port); }
    quint16 port() const { return server.serverPort(); }

    void write(const QByteArray &bytes)
    {
        conn->write(bytes);
        conn->flush();
    }
    bool written() const { return conn && conn->bytesToWrite() == 0; }

    // Drops the connection and stops listening.
    void shutDown()
    {
        server.close();
        if (conn)
            conn->abort();
    }

    // A loopback port nobody listens on right now.
    static quint16 freePort()
    {
        QTcpServer s;
        s.listen(QHostAddress::LocalHost, 0);
        const quint16 p = s.serverPort();
        s.close();
        return p;
    }

private:
    QByteArray buf;
};
