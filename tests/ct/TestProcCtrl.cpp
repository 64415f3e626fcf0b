// "Proc Control": form defaults, change signals only on change, recorded
// CoR pairs and interpolation, the filter controls and the conditions record.
#include "CalcConds.h"
#include "ProcCtrl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

class TestProcCtrl : public QObject
{
    Q_OBJECT

    template <class W>
    static W *get(ProcCtrl &p, const char *name)
    {
        W *w = p.findChild<W *>(name);
        if (!w)
            qFatal("no %s", name);
        return w;
    }
    static QString text(ProcCtrl &p, const char *name) { return get<QLineEdit>(p, name)->text(); }
    static void type(ProcCtrl &p, const char *name, const QString &t)
    {
        QLineEdit *e = get<QLineEdit>(p, name);
        e->setText(t);
        emit e->editingFinished();
    }

private slots:
    void defaults()
    {
        ProcCtrl p;
        QCOMPARE(p.windowTitle(), QString("Proc Control"));
        QCOMPARE(p.sliceNo, 1000);
        QCOMPARE(p.cor, 1000.0);
        QVERIFY(!p.rotAxIsV);
        QCOMPARE(p.recSlice1, -1);
        QCOMPARE(p.recSlice2, -1);
        QVERIFY(get<QRadioButton>(p, "RotAxH")->isChecked());
        QVERIFY(!get<QRadioButton>(p, "RotAxV")->isChecked());
        QVERIFY(p.isAutoUpdate());
        QVERIFY(!p.isAutoExec());
        QCOMPARE(text(p, "SliceFrom"), QString("0"));
        QCOMPARE(text(p, "SliceTo"), QString("2047"));
        QCOMPARE(text(p, "SliceStep"), QString("1"));
        QCOMPARE(text(p, "AngleOffset"), QString("0"));
        QCOMPARE(text(p, "RecordedCoR1"), QString());
        QVERIFY(get<QLineEdit>(p, "RecordedCoR1")->isReadOnly());
        QCOMPARE(get<QLabel>(p, "MaxThreads")->text(), QString("/32"));
        QCOMPARE(get<QPushButton>(p, "RecCoR")->text(), QString("Record"));
        QCOMPARE(get<QCheckBox>(p, "AutoUpdate")->text(), QString("Auto Update Sinogram"));
        QCOMPARE(get<QCheckBox>(p, "AutoExecCtCalc")->text(), QString("Auto Exec"));
        p.setMaxThreads(8);
        QCOMPARE(get<QLabel>(p, "MaxThreads")->text(), QString("/8"));
        QCOMPARE(get<QSpinBox>(p, "Threads")->maximum(), 8);
        p.setThreads(6);
        QCOMPARE(p.getThreads(), 6);
    }

    void signalsOnlyOnChange()
    {
        ProcCtrl p;
        QSignalSpy cor(&p, &ProcCtrl::corUpdated);
        QSignalSpy slice(&p, &ProcCtrl::sliceNoUpdated);
        QSignalSpy ax(&p, &ProcCtrl::rotAxUpdated);

        p.setCor(1000);
        QCOMPARE(cor.count(), 0);
        p.setCor(1023.123456);
        QCOMPARE(cor.count(), 1);
        QCOMPARE(text(p, "Cor"), QString("1023.12"));
        type(p, "Cor", "1023.123456");  // the same value typed again
        QCOMPARE(cor.count(), 1);
        type(p, "Cor", "512.5");
        QCOMPARE(cor.count(), 2);
        QCOMPARE(p.cor, 512.5);
        type(p, "Cor", "junk");         // does not parse: 0
        QCOMPARE(p.cor, 0.0);
        QCOMPARE(cor.count(), 3);
        p.setCor(std::nan(""));         // a NaN always counts as a change
        p.setCor(std::nan(""));
        QCOMPARE(cor.count(), 5);

        p.setSliceNo(1000);
        QCOMPARE(slice.count(), 0);
        p.setSliceNo(400);
        QCOMPARE(slice.count(), 1);
        QCOMPARE(text(p, "SliceNo"), QString("400"));
        type(p, "SliceNo", "400");
        QCOMPARE(slice.count(), 1);
        type(p, "SliceNo", "401");
        QCOMPARE(slice.count(), 2);
        QCOMPARE(p.sliceNo, 401);

        get<QRadioButton>(p, "RotAxH")->click();    // already H
        QCOMPARE(ax.count(), 0);
        get<QRadioButton>(p, "RotAxV")->click();
        QCOMPARE(ax.count(), 1);
        QVERIFY(p.rotAxIsV);
        p.setRotAxIsV(true);
        QCOMPARE(ax.count(), 1);
        p.setRotAxIsV(false);
        QCOMPARE(ax.count(), 2);
        QVERIFY(get<QRadioButton>(p, "RotAxH")->isChecked());

        // setters of the range and offset write the field and say nothing
        QSignalSpy update(&p, &ProcCtrl::autoUpdateUpdated);
        QSignalSpy exec(&p, &ProcCtrl::autoExecUpdated);
        p.setSliceFrom(7);
        p.setSliceTo(9);
        p.setSliceStep(2);
        p.setAngleOffset(-12.25);
        QCOMPARE(p.getSliceFrom(), 7);
        QCOMPARE(p.getSliceTo(), 9);
        QCOMPARE(p.getSliceStep(), 2);
        QCOMPARE(p.getAngleOffset(), -12.25);
        QCOMPARE(cor.count() + slice.count() + ax.count(), 5 + 2 + 2);
        p.setAutoUpdate(false);
        p.setAutoExec(true);
        QCOMPARE(update.count(), 1);
        QCOMPARE(exec.count(), 1);
    }

    void recordedPairs()
    {
        ProcCtrl p;
        p.setSliceNo(400);
        p.setCor(1023.5);
        p.recordCoR();
        QCOMPARE(text(p, "RecordedCoR1"), QString("1023.5 at 400"));
        QCOMPARE(text(p, "RecordedCoR2"), QString());
        p.setSliceNo(1600);
        p.setCor(1025);
        get<QPushButton>(p, "RecCoR")->click();     // "Record" records
        QCOMPARE(text(p, "RecordedCoR1"), QString("1025 at 1600"));
        QCOMPARE(text(p, "RecordedCoR2"), QString("1023.5 at 400"));
        QCOMPARE(p.recSlice2, 400);
        QCOMPARE(p.recCor2, 1023.5);

        // the line through both pairs
        QCOMPARE(p.corForSlice(1000), 1024.25);
        QCOMPARE(p.corForSlice(400), 1023.5);
        QCOMPARE(p.corForSlice(2800), 1026.5);
        CalcConds c;
        p.fillConds(&c, true, false);
        QCOMPARE(c.corForSlice(1000), 1024.25);

        // same slice twice, or a pair missing: the current CoR
        p.setRecordedCoR(2, 1600, 1000);
        QCOMPARE(p.corForSlice(1000), 1025.0);
        get<QPushButton>(p, "ClearRecCoR")->click();
        QCOMPARE(text(p, "RecordedCoR1"), QString());
        QCOMPARE(text(p, "RecordedCoR2"), QString());
        QCOMPARE(p.recSlice1, -1);
        QCOMPARE(p.recCor1, 0.0);
        p.setRecordedCoR(1, 10, 5);
        QCOMPARE(p.corForSlice(1000), 1025.0);
        QCOMPARE(text(p, "RecordedCoR1"), QString("5 at 10"));
    }

    void conditions_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("want");
        QTest::newRow("downwards") << "100" << "10" << "5" << -5;
        QTest::newRow("upwards, negative typed") << "10" << "100" << "-5" << 5;
        QTest::newRow("one slice") << "10" << "10" << "-3" << 3;
        QTest::newRow("step 0 would repeat a slice for ever") << "10" << "0" << "0" << -1;
        QTest::newRow("step not a number") << "0" << "10" << "x" << 1;
    }
    void conditions()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, step);
        QFETCH(int, want);
        ProcCtrl p;
        type(p, "SliceFrom", from);
        type(p, "SliceTo", to);
        type(p, "SliceStep", step);
        p.setAngleOffset(1.5);
        p.setRotAxIsV(true);
        p.setSliceNo(12);
        p.setCor(99.75);
        p.setAutoExec(true);
        p.setThreads(3);
        p.setRecordedCoR(1, 4, 98);
        CalcConds c;
        p.fillConds(&c, false, true);
        QCOMPARE(c.sliceStep, want);
        QCOMPARE(c.sliceFrom, from.toInt());
        QCOMPARE(c.sliceTo, to.toInt());
        QVERIFY(!c.doCt1);
        QVERIFY(c.doCt2);
        QVERIFY(c.rotAxIsV);
        QCOMPARE(c.slice, 12);
        QCOMPARE(c.cor, 99.75);
        QCOMPARE(c.angleOffset, 1.5);
        QVERIFY(c.rangeMode);
        QCOMPARE(c.threads, 3);
        QCOMPARE(c.recSlice1, 4);
        QCOMPARE(c.recCor1, 98.0);
        QCOMPARE(c.recSlice2, -1);
    }

    // The filter as the user picks it; a cut-off typed outside (0, 0.5] or
    // not a number is refused by name and the last valid one shown again.
    void filterControls()
    {
        ProcCtrl p;
        QComboBox *filter = get<QComboBox>(p, "Filter");
        QComboBox *padding = get<QComboBox>(p, "Padding");
        QCOMPARE(filter->currentText(), QString("ramp"));
        QCOMPARE(text(p, "CutOff"), QString("0.5"));
        QCOMPARE(padding->currentText(), QString("zero"));
        filter->setCurrentText("cosine");
        padding->setCurrentText("none");
        type(p, "CutOff", "0.25");
        CalcConds c;
        p.fillConds(&c, true, false);
        QVERIFY(c.filter.window == RampFilter::Window::Cosine);
        QCOMPARE(c.filter.cutoff, 0.25);
        QVERIFY(c.filter.padding == RampFilter::Padding::None);
        for (const char *bad : {"0.75", "0", "-0.1", "nan", "wide"}) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cut-off refused"));
            type(p, "CutOff", bad);
            QCOMPARE(text(p, "CutOff"), QString("0.25"));
        }
        // typed but not confirmed: the run still takes only a valid cut-off
        get<QLineEdit>(p, "CutOff")->setText("3");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cut-off refused"));
        p.fillConds(&c, true, false);
        QCOMPARE(c.filter.cutoff, 0.25);
        QVERIFY(!p.setFilterWindow("hanning") && !p.setFilterPadding("mirror") && !p.setFilterCutoff(0.6));
        QCOMPARE(filter->currentText(), QString("cosine"));
    }
};

QTEST_MAIN(TestProcCtrl)
#include "TestProcCtrl.moc"
