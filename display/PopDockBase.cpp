#include "PopDockBase.h"

#include "ui_PopDockBase.h"

#include <QGridLayout>

PopDockBase::PopDockBase(QWidget *parent)
    : QFrame(parent), ui(new Ui::PopDockBase), popLayout(new QGridLayout(&popWin))
{
    ui->setupUi(this);
    popWin.resize(500, 500);
    connect(ui->PopDock, &QPushButton::clicked, this, &PopDockBase::popDock);
    connect(&popWin, &ClosableBase::closed, this, &PopDockBase::moveToDockBase);
}

PopDockBase::~PopDockBase()
{
    delete ui;
}

QGridLayout *PopDockBase::dockLayout() const
{
    return ui->Layout;
}

QPushButton *PopDockBase::popDockButton() const
{
    return ui->PopDock;
}

void PopDockBase::setContent(QWidget *w, const QString &title)
{
    content = w;
    if (content)
        ui->Layout->addWidget(content);
    popWin.setWindowTitle(title);
}

void PopDockBase::popDock()
{
    if (popWin.isHidden())
        popWin.show();
    else
        popWin.hide();
    if (!content)
        return;
    if (popWin.isVisible())
        moveToPopBase();
    else
        moveToDockBase();
}

void PopDockBase::moveToDockBase()
{
    if (content)
        ui->Layout->addWidget(content);
}

void PopDockBase::moveToPopBase()
{
    if (content)
        popLayout->addWidget(content);
}
