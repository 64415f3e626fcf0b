#pragma once
// Keeps the calculators' panels in step: the display region and the
// calculation region set in one panel (CT1 or any CT2) go to all others, and
// the fixed colour scale ("Fix Color Scale", min, max) goes to every panel.
#include <QList>
#include <QObject>

class CtCalc;
class CtCalc2Ui;
namespace Ui { class Body; }

class RegionSync : public QObject
{
    Q_OBJECT
public:
    RegionSync(Ui::Body *ui, CtCalc *ct1, QObject *parent = nullptr);

    // A CT2 panel joins: its regions and colour scale are kept with the rest.
    void addPanel(CtCalc2Ui *panel);
    // The display (calcRegion false) or calculation region to every panel
    // but `from` (nullptr: to all).
    void apply(double rx0, double rz0, double rx1, double rz1, bool calcRegion, QObject *from);
    // The colour-scale controls to every panel.
    void fixColorScaleChanged();
    double colorMin() const;
    double colorMax() const;

private slots:
    void dRUpdated(double rx0, double rz0, double rx1, double rz1);
    void cRUpdated(double rx0, double rz0, double rx1, double rz1);

private:
    Ui::Body *ui;
    CtCalc *ct1;
    QList<CtCalc2Ui *> panels;
};
