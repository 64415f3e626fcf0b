#include "Body.h"
#include "ui_Body.h"

#include "ConfigTable.h"

#include <QCloseEvent>

Body::Body(QWidget *parent)
    : QFrame(parent), ui(new Ui::Body)
{
    ui->setupUi(this);
    configLines = configTable.configLines();
}

Body::~Body()
{
    delete ui;
}

void Body::batchLoad(const QString &fileName)
{
    emit callBatchLoad(fileName);
}

void Body::batchExec()
{
    emit callBatchExec();
}

void Body::closeEvent(QCloseEvent *event)
{
    emit finishing();
    event->accept();
}
