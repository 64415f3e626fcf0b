#pragma once
// A top-level frame that reports when the user closes it.
#include <QFrame>

class ClosableBase : public QFrame
{
    Q_OBJECT
public:
    explicit ClosableBase(QWidget *parent = nullptr);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *e) override;
};
