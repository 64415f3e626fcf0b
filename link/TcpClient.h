#pragma once
// Line-oriented TCP client: keeps one connection to host:port, reconnects once a
// second while a connection is wanted but down, splits the received bytes into
// lines and sends text lines.
#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

class TcpClient : public QObject
{
    Q_OBJECT

public:
    explicit TcpClient(QObject *parent = nullptr);
    ~TcpClient() override;

    // Longest partial line kept while waiting for its line feed; bytes beyond
    // it are dropped until the next line feed.
    static constexpr qsizetype MaxLineBytes = 1024 * 1024;
    static constexpr int RetryMs = 1000;

    QString host;       // set by the owner before connecting
    quint16 port = 0;

    bool isWanted() const { return wanted; }
    bool isLinked() const { return linked; }
    bool isRetrying() const;
    qsizetype pendingBytes() const { return rxBuffer.size(); }

    // Splits received bytes into lines: readyRead() hands over everything the
    // socket delivers through here, in chunks of any size.
    void takeBytes(const QByteArray &bytes);

signals:
    void statChanged();
    void receiveAnMsg(QByteArray msg);

public slots:
    void connected();
    void disconnected();
    void tryReconnect();
    virtual void readyRead();
    void doConnect();
    void doDisconnect();
    void send(QString msg);

protected:
    QTcpSocket *socket;
    QTimer *retryTimer;
    bool wanted = false;
    bool linked = false;
    QByteArray rxBuffer;

private:
    void startAttempt();
    bool dropping = false;  // the current line overflowed; skip to its line feed
    // A peer that repeats its state line is logged once per change: the line
    // last logged and how often it came again since.
    void logReceived(const QByteArray &line);
    QByteArray lastLogged;
    bool anyLogged = false;
    qint64 repeats = 0;
};
