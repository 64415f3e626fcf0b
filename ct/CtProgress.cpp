#include "CtProgress.h"

CtProgress::CtProgress(QObject *parent) : QObject(parent)
{
}

void CtProgress::setTotal(int t)
{
    total = t;
    current = 0;
}

void CtProgress::startCalcAll()
{
    emit calcAll();
}

void CtProgress::startCalcOneByOne()
{
    emit calcOne(current);
}

void CtProgress::calcNext()
{
    ++current;
    if (current < total)
        emit calcOne(current);
    else
        emit finishedCalcOneByOne();
}
