#pragma once
// A tab's frame whose content can be popped out into a window of its own
// ("Pop/Dock") and docked back; closing the window docks it too.
#include "ClosableBase.h"

#include <QFrame>

class QGridLayout;
class QPushButton;
namespace Ui { class PopDockBase; }

class PopDockBase : public QFrame
{
    Q_OBJECT
public:
    explicit PopDockBase(QWidget *parent = nullptr);
    ~PopDockBase() override;

    QWidget *content = nullptr;
    ClosableBase popWin;

    // The layout holding the content while docked ("Layout").
    QGridLayout *dockLayout() const;
    QPushButton *popDockButton() const;
    // The owner's set-up in one call: content docked, window titled.
    void setContent(QWidget *w, const QString &title);

private slots:
    void popDock();
    void moveToDockBase();
    void moveToPopBase();

private:
    Ui::PopDockBase *ui;
    QGridLayout *popLayout;
};
