#include "ImgDispWCBar.h"

#include "ColorBar.h"

#include <QGridLayout>

ImgDispWCBar::ImgDispWCBar(QWidget *parent) : ImgDisp(parent), CBar(new ColorBar(this))
{
    CBar->setObjectName("CBar");
    CBar->setMinimumWidth(25);
    CBar->setFrameShape(QFrame::StyledPanel);
    CBar->setFrameShadow(QFrame::Raised);
    gridLayout()->addWidget(CBar, 0, 1);
    // the picture takes the room; the bar stays narrow and the panel low
    gridLayout()->setColumnStretch(0, 1);
    gridLayout()->setRowStretch(0, 1);

    lowerGrid = new QGridLayout;
    lowerGrid->setObjectName("lowerGrid");
    gridLayout()->addLayout(lowerGrid, 1, 0, 1, 2);
    lowerGrid->addWidget(CBar->controlFrame(), 0, 1);
    lowerGrid->setColumnStretch(0, 1);

    connect(CBar, &ColorBar::newBar, this, &ImgDispWCBar::newBar);
    setWindowTitle(tr("Image Display with Color Bar"));
}
