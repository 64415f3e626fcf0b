#include "RegionFields.h"

#include <QLineEdit>

#include <cmath>

bool setRegionFields(QLineEdit *const (&fields)[4], const double (&values)[4])
{
    double old[4];
    for (int k = 0; k < 4; ++k)
        old[k] = fields[k]->text().toDouble();
    bool changed = false;
    for (int k = 0; k < 4; ++k) {
        fields[k]->setText(QString::number(values[k], 'g', 6));
        const double back = fields[k]->text().toDouble();
        if (!(back == old[k]) && !(std::isnan(back) && std::isnan(old[k])))
            changed = true;
    }
    return changed;
}
