#include "OrvexLink.h"

#include "ConfigTable.h"
#include "LineSyntax.h"

#include <QAbstractButton>
#include <QDebug>

namespace {
// A request can name thousands of files: the warning shows its start.
QString logText(const QString &line)
{
    constexpr qsizetype shown = 300;
    if (line.size() <= shown)
        return line;
    return line.left(shown) + QString("... (%1 characters)").arg(line.size());
}

const char *const LinkedStyle = "background-color: rgb(211, 255, 241);";
const char *const ConnectingStyle = "background-color: rgb(255, 243, 162);";
const char *const IdleStyle = "background-color: rgb(176, 192, 192);";
}

OrvexLink::OrvexLink(QObject *parent) : TcpClient(parent)
{
    // "2dOrvex <host> <port>"; default: this machine, port 6078.
    QString rest = configTable.restNoCase("2dOrvex", "127.0.0.1 6078");
    host = nextToken(rest, rest);
    bool numeric = false;
    const ushort p = nextToken(rest, rest).toUShort(&numeric, 10);
    port = numeric ? p : 0;

    connect(this, &TcpClient::statChanged, this, &OrvexLink::statChanged);
    connect(this, &TcpClient::statChanged, this, &OrvexLink::nextStep);
    connect(this, &TcpClient::receiveAnMsg, this, &OrvexLink::receiveAnMsg);
}

OrvexLink::~OrvexLink()
{
    // The base destructor still reports its last state change; by then this
    // part of the object is gone, so its slots must not be reached.
    disconnect(this, &TcpClient::statChanged, this, nullptr);
    disconnect(this, &TcpClient::receiveAnMsg, this, nullptr);
}

void OrvexLink::setLinkButton(QAbstractButton *button)
{
    if (linkButton)
        disconnect(linkButton, &QAbstractButton::clicked, this, &TcpClient::doConnect);
    linkButton = button;
    setLinkButtonStyle();
    if (linkButton)
        connect(linkButton, &QAbstractButton::clicked, this, &TcpClient::doConnect);
}

QString OrvexLink::linkStyle() const
{
    if (linked)
        return QString::fromLatin1(LinkedStyle);
    if (wanted)
        return QString::fromLatin1(ConnectingStyle);
    return QString::fromLatin1(IdleStyle);
}

void OrvexLink::statChanged()
{
    if (linked) {
        send(QStringLiteral("myName Tomix\n"));
        emit connected();
        if (busy) {
            busy = false;
            emit changedIsBusy(false);
        }
    }
    setLinkButtonStyle();
}

void OrvexLink::nextStep()
{
}

void OrvexLink::setLinkButtonStyle()
{
    if (!linkButton)
        return;
    linkButton->setStyleSheet(linkStyle());
}

void OrvexLink::receiveAnMsg(QByteArray msg)
{
    const QStringList items = QString::fromUtf8(msg).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (items.isEmpty() || items.first().toUpper() != QLatin1String("ISBUSY"))
        return;
    const bool flag = items.size() >= 2 && items.at(1).toInt(nullptr, 10) == 1;
    if (flag || items.size() < 3)
        finishedCmd.clear();
    else
        finishedCmd = items.at(2).toUpper();
    if (items.size() >= 2 && flag != busy) {
        busy = flag;
        emit changedIsBusy(busy);
    }
}

// A request made while the peer is busy (or one with nothing to ask) is
// dropped; the state handling runs instead, which clears `busy` when linked.
bool OrvexLink::beginRequest(bool hasContent)
{
    if (busy || !hasContent) {
        statChanged();
        return false;
    }
    busy = true;
    emit changedIsBusy(true);
    return true;
}

void OrvexLink::sendRequest(const QString &text)
{
    if (!linked) {
        QString shown = text;
        shown.chop(1);      // the line feed
        qWarning().noquote() << "2dOrvex not connected, not sent : " + logText(shown);
        return;
    }
    send(text);
}

void OrvexLink::loadFilesOfPattern(QString path)
{
    if (beginRequest(true))
        sendRequest(QString("%1 new %2 *.dat\n").arg(QStringLiteral("LOAD_I1_FILES_OF_PATTERN"), path));
}

void OrvexLink::loadFiles(QStringList fileList)
{
    if (beginRequest(!fileList.isEmpty()))
        sendRequest(QString("%1 new %2\n").arg(QStringLiteral("LOAD_I1_FILES"), fileList.join(QLatin1Char(' '))));
}

void OrvexLink::exec2dA(QString sliceNo)
{
    if (beginRequest(true))
        sendRequest(QString("%1 %2\n").arg(QStringLiteral("ANALYZER_EXEC_2DA"), sliceNo));
}
