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
    // the bar's Fix/Min/Max go on a row of their own under the read-outs, so
    // that a picture needs no more width than the wider of the two rows
    lowerGrid->addWidget(CBar->controlFrame(), 1, 0, Qt::AlignLeft);
    lowerGrid->setColumnStretch(0, 1);

    connect(CBar, &ColorBar::newBar, this, &ImgDispWCBar::newBar);
    setWindowTitle(tr("Image Display with Color Bar"));
}
