#include "DispAWLayout.h"

#include "DispA.h"
#include "ui_DispAWLayout.h"

DispAWLayout::DispAWLayout(QWidget *parent) : QFrame(parent), ui(new Ui::DispAWLayout)
{
    ui->setupUi(this);
    DispA *d = ui->dispA;
    connect(d, &DispA::drawImage0, this, &DispAWLayout::drawImage0);
    connect(d, &DispA::drawImage1, this, &DispAWLayout::drawImage1);
    connect(d, &DispA::drawImage2, this, &DispAWLayout::drawImage2);
    connect(d, &DispA::mouseMoved0, this, &DispAWLayout::mouseMoved0);
    connect(d, &DispA::mousePressed0, this, &DispAWLayout::mousePressed0);
    connect(d, &DispA::mouseReleased0, this, &DispAWLayout::mouseReleased0);
    connect(d, &DispA::mouseDoubleClicked0, this, &DispAWLayout::mouseDoubleClicked0);
    connect(d, &DispA::wheelMoved0, this, &DispAWLayout::wheelMoved0);
}

DispAWLayout::~DispAWLayout()
{
    delete ui;
}

DispA *DispAWLayout::dispA() const
{
    return ui->dispA;
}

QGridLayout *DispAWLayout::gridLayout() const
{
    return ui->gridLayout;
}
