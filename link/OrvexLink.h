#pragma once
// Client side of the link to the external 2-D XAFS program (2dOrvex): introduces
// itself on connection, asks the peer to load result files or to analyse a
// slice, and follows the peer's "ISBUSY" replies.
#include "TcpClient.h"

#include <QPointer>
#include <QStringList>

class QAbstractButton;

class OrvexLink : public TcpClient
{
    Q_OBJECT

public:
    explicit OrvexLink(QObject *parent = nullptr);
    ~OrvexLink() override;

    // Third item of the latest "ISBUSY" message (upper case), or empty: the
    // request the peer has just finished.
    QString finishedCmd;
    // The peer is working on a request of ours.
    bool busy = false;

    // Shows the link state on the button and connects when it is clicked.
    // The button is not owned.
    void setLinkButton(QAbstractButton *button);
    // Style sheet of the link button for the present state.
    QString linkStyle() const;

signals:
    void connected();
    void changedIsBusy(bool f);

public slots:
    void statChanged();
    void nextStep();
    void setLinkButtonStyle();
    void receiveAnMsg(QByteArray msg);
    void loadFilesOfPattern(QString path);
    void loadFiles(QStringList fileList);
    void exec2dA(QString sliceNo);

private:
    bool beginRequest(bool hasContent);
    // Sends a request, or names it in a warning when the peer is not connected.
    void sendRequest(const QString &text);

    QPointer<QAbstractButton> linkButton;
};
