#pragma once
// The main window of Tomix.
#include <QFrame>
#include <QStringList>

namespace Ui { class Body; }

class Body : public QFrame
{
    Q_OBJECT
public:
    explicit Body(QWidget *parent = nullptr);
    ~Body() override;

    // Configuration lines kept for the command dispatcher.
    const QStringList &pendingConfigLines() const { return configLines; }

signals:
    void finishing();
    void callBatchLoad(const QString &fileName);
    void callBatchExec();

public slots:
    void batchLoad(const QString &fileName);
    void batchExec();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Ui::Body *ui;
    QStringList configLines;
};
