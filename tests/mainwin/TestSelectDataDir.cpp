// Energies from file names, the sets of a CT-XAFS directory in both layouts,
// and handing sets over (Set, Next, first and next set of a sequence).
#include "CtFileSet.h"
#include "EnergyName.h"
#include "Phantom.h"
#include "SelectDataDir.h"
#include "SelectDir.h"
#include "ui_SelectDataDir.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestSelectDataDir : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

    static void touch(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
    }

    QString makeDir(const QString &name)
    {
        QDir(tmp.path()).mkpath(name);
        return tmp.filePath(name);
    }

    static QStringList items(const SelectDataDir &s)
    {
        QStringList l;
        for (int i = 0; i < s.form()->SubDirs->count(); ++i)
            l << s.form()->SubDirs->itemText(i);
        return l;
    }

    static QStringList names(const QFileInfoList &l)
    {
        QStringList n;
        for (const QFileInfo &f : l)
            n << f.fileName();
        return n;
    }

private slots:
    void energiesFromNames()
    {
        QCOMPARE(energyFromFileName("Fe-7112eV-00001.img"), 7112.0);
        QCOMPARE(energyFromFileName("Fe-7112_5eV-00001.img"), 7112.5);
        QCOMPARE(energyFromFileName("Fe-7112.5eV-00001.img"), 7112.5);
        QCOMPARE(energyFromFileName("Fe-7_1125keV-00001.img"), 7112.5);
        QCOMPARE(energyFromFileName("Fe-7.1125KEV-00001.img"), 7112.5);
        QCOMPARE(energyFromFileName("Fe-7_1125kev-3.img"), 7112.5);
        // only the file name counts, not the dashes of its directories
        QCOMPARE(energyFromFileName("/data/run-2/x-y/i0-7150eV-00000.img"), 7150.0);
        // the sample name may contain dashes itself
        QCOMPARE(energyFromFileName("Fe-Ni-oxide-8333.2eV-00007.img"), 8333.2);
        // a bare number is taken in eV
        QCOMPARE(energyFromFileName("s-7112-0.img"), 7112.0);

        // malformed names give 0, never a crash
        for (const char *bad : {"", "-", "--", "plain.img", "a-b-c.img", "a-eV-1.img",
                                "a-7_1_2eV-1.img", "a-1e999eV-1.img", "/", "x-y/"})
            QVERIFY2(energyFromFileName(bad) == 0.0, bad);

        QCOMPARE(energyTokenOf("s-7112_5eV-00001.img"), QString("7112_5eV"));
        QCOMPARE(energyTokenOf("scan-7112eV.img"), QString("scan"));
        QCOMPARE(energyTokenOf("plain.img"), QString("plain.img"));
        QCOMPARE(energyUnitOf("7112_5eV"), QString("eV"));
        QCOMPARE(energyUnitOf("7112"), QString());
        QCOMPARE(energyUnitOf("abc"), QString("abc"));
        QCOMPARE(energyNumberOf("7_5keV"), 7.5);
    }

    void fileSetFields()
    {
        CtFileSet s(QFileInfo("/d/Fe-Ni-7_1125keV-00000.img"));
        QCOMPARE(s.firstName(), QString("Fe-Ni-7_1125keV-00000.img"));
        QCOMPARE(s.prefix(), QString("Fe-Ni-7_1125keV"));
        QCOMPARE(s.sampleName(), QString("Fe-Ni"));
        QCOMPARE(s.energyToken(), QString("7_1125keV"));
        QCOMPARE(s.unit(), QString("keV"));
        QCOMPARE(s.multiplier(), 1000.0);
        QCOMPARE(s.energyNumber(), 7.1125);
        QCOMPARE(s.energy(), 7112.5);
        QVERIFY(s.add(QFileInfo("/d/Fe-Ni-7_1125keV-00001.img")));
        QVERIFY(s.add(QFileInfo("/e/Fe-Ni-7_1125keV-x.img")));    // only the name counts
        QVERIFY(!s.add(QFileInfo("/d/Fe-Ni-7_1126keV-00002.img")));
        QCOMPARE(s.files().size(), 3);

        CtFileSet plain(QFileInfo("/d/plain.img"));
        QCOMPARE(plain.prefix(), QString("plain.img"));
        QCOMPARE(plain.sampleName(), QString("plain.img"));
        QCOMPARE(plain.energy(), 0.0);
        QVERIFY(plain.add(QFileInfo("/d/plain.img")));
        QVERIFY(!plain.add(QFileInfo("/d/plain-1.img")));
    }

    void standardLayoutFromPhantom()
    {
        const QString dir = makeDir("phantom");
        Phantom::Options o;
        o.width = 8;
        o.height = 4;
        o.projections = 3;
        o.energies = {7150, 7100, 7112.5};
        QString err;
        QVERIFY2(Phantom(o).writeSeries(dir, &err), qPrintable(err));

        SelectDataDir s;
        QCOMPARE(s.form()->SelDir->findChild<QPushButton *>("Select")->text(),
                 QString("Sel. Data Dir."));
        QCOMPARE(s.pattern(), QString("*.img"));
        QVERIFY(s.isASRStandard());
        QSignalSpy sets(&s, &SelectDataDir::newSets);
        QSignalSpy files(&s, &SelectDataDir::selectedFileInfoList);
        QSignalSpy dirs(&s, &SelectDataDir::selected);
        QString dirOnNewSets;
        connect(&s, &SelectDataDir::newSets, this, [&] { dirOnNewSets = s.dataDir(); });
        s.setDataDir(dir);
        QCOMPARE(dirOnNewSets, dir);
        QCOMPARE(s.dataDir(), dir);
        QCOMPARE(s.form()->SelDir->dir(), dir);
        QCOMPARE(s.form()->SelDir->dialog()->directory(), QDir(dir));
        QCOMPARE(sets.count(), 1);
        QCOMPARE(sets.at(0).at(0).toInt(), 3);
        QCOMPARE(items(s), QStringList({"1 : sample (7100[eV], 3)",
                                        "2 :        (7112.5[eV], 3)",
                                        "3 :        (7150[eV], 3)"}));
        QCOMPARE(s.currentIndex(), 0);
        QCOMPARE(s.currentName(), QString("7100eV"));

        QVERIFY(s.next());
        QCOMPARE(s.currentName(), QString("7112.5eV"));
        QCOMPARE(s.currentEnergy(), 7112.5);
        QCOMPARE(files.count(), 0);                         // Next hands nothing over
        QTest::mouseClick(s.form()->Set, Qt::LeftButton);
        QCOMPARE(files.count(), 1);
        const QFileInfoList got = files.at(0).at(0).value<QFileInfoList>();
        QCOMPARE(names(got), QStringList({"sample-7112.5eV-00000.img", "sample-7112.5eV-00001.img",
                                          "sample-7112.5eV-00002.img"}));
        QCOMPARE(got.at(0).absolutePath(), QDir(dir).absolutePath());
        QCOMPARE(dirs.count(), 0);

        // the same directory in the sub-directory layout: only "ref" is a set
        s.setIsASRStandard(false);
        QCOMPARE(sets.count(), 2);
        QCOMPARE(items(s), QStringList({"1 : ref"}));
        s.setIsASRStandard(true);
        QCOMPARE(sets.count(), 3);
        QCOMPARE(s.count(), 3);
    }

    void standardLayoutGrouping()
    {
        const QString dir = makeDir("mixed");
        for (const char *n : {"A-7112_5eV-00000.img", "A-7112_5eV-00001.img", "B-7112_5eV-00000.img",
                              "B-7_1125keV-00000.img", "B-7_1125keV-00001.img", "plain.img",
                              "AB-7112_5eV-00000.img", "notes.txt",
                              "c-900eV-1.img", "c-900eV-10.img", "c-900eV-2.img", "c-1000eV-1.img"})
            touch(dir + "/" + n);
        QDir(dir).mkdir("sub.img");                          // directories never count

        SelectDataDir s;
        QSignalSpy sets(&s, &SelectDataDir::newSets);
        s.setDataDir(dir);
        // Natural order: numbers count (7 before 7112, 900 before 1000, 2
        // before 10).
        QCOMPARE(sets.last().at(0).toInt(), 7);
        QCOMPARE(items(s), QStringList({"1 : A (7112.5[eV], 2)",
                                        "2 : AB (7112.5[eV], 1)",
                                        "3 : B (7.1125[keV], 2)",
                                        "4 :   (7112.5[eV], 1)",
                                        "5 : c (900[eV], 3)",
                                        "6 :   (1000[eV], 1)",
                                        "7 : plain.img (0[plain.img], 1)"}));
        QCOMPARE(names(s.fileSets().at(4)->files()),
                 QStringList({"c-900eV-1.img", "c-900eV-2.img", "c-900eV-10.img"}));
        const QList<CtFileSet *> &fs = s.fileSets();
        QCOMPARE(fs.at(2)->energy(), fs.at(3)->energy());   // 7112.5 eV either way
        s.setFirstSet(2);
        QCOMPARE(s.currentName(), QString("7_1125keV"));
        QCOMPARE(s.currentEnergy(), 7112.5);

        // the pattern is one pattern in this layout, blanks included
        s.setPattern("A-* B-*");
        s.setDataDir(dir);
        QCOMPARE(sets.last().at(0).toInt(), 0);
        s.setPattern("A-*");
        s.setDataDir(dir);
        QCOMPARE(items(s), QStringList({"1 : A (7112.5[eV], 2)"}));
    }

    void subDirectoryLayout()
    {
        const QString dir = makeDir("bydir");
        for (const char *d : {"7150eV", "7_1125keV", "7100_5eV", "noenergy"}) {
            QDir(dir).mkdir(d);
            touch(dir + "/" + d + "/p-00000.img");
        }
        touch(dir + "/loose.img");

        SelectDataDir s;
        QSignalSpy sets(&s, &SelectDataDir::newSets);
        QSignalSpy dirs(&s, &SelectDataDir::selected);
        QSignalSpy files(&s, &SelectDataDir::selectedFileInfoList);
        QSignalSpy none(&s, &SelectDataDir::noMoreSets);
        s.setDataDir(dir);
        QCOMPARE(sets.last().at(0).toInt(), 1);              // only loose.img
        QTest::mouseClick(s.form()->isASRStd_, Qt::LeftButton);
        QVERIFY(!s.isASRStandard());
        QCOMPARE(sets.count(), 2);
        QCOMPARE(sets.last().at(0).toInt(), 4);
        // natural order: 7 (keV) before 7100 and 7150
        QCOMPARE(items(s), QStringList({"1 : 7_1125keV", "2 : 7100_5eV", "3 : 7150eV", "4 : noenergy"}));
        QCOMPARE(s.currentEnergy(), 7112.5);

        s.setPattern("  *.img\t *.tif ");
        s.setFirstSet(1);
        QCOMPARE(dirs.count(), 1);
        QCOMPARE(dirs.at(0).at(0).toString(), dir + QDir::separator() + "7100_5eV");
        QCOMPARE(dirs.at(0).at(1).toStringList(), QStringList({"*.img", "*.tif"}));
        QCOMPARE(s.currentName(), QString("7100_5eV"));
        QCOMPARE(s.currentEnergy(), 7100.5);
        QCOMPARE(files.count(), 0);
        QCOMPARE(none.count(), 0);

        s.setFirstSet(3);
        QCOMPARE(s.currentEnergy(), 0.0);
        s.setNextSet(10);
        QCOMPARE(none.count(), 1);                           // at the last entry
        QCOMPARE(s.currentIndex(), 3);
    }

    void endsOfTheList()
    {
        const QString dir = makeDir("ends");
        for (int e : {7100, 7110, 7120, 7130})
            touch(QString("%1/s-%2eV-00000.img").arg(dir).arg(e));

        SelectDataDir s;
        QSignalSpy files(&s, &SelectDataDir::selectedFileInfoList);
        QSignalSpy none(&s, &SelectDataDir::noMoreSets);
        s.setDataDir(dir);
        QCOMPARE(s.count(), 4);

        // Next stops at the last entry and hands nothing over
        for (int i = 0; i < 3; ++i)
            QVERIFY(s.next());
        QVERIFY(!s.next());
        QTest::mouseClick(s.form()->Next, Qt::LeftButton);
        QCOMPARE(s.currentIndex(), 3);
        QCOMPARE(files.count(), 0);
        QCOMPARE(none.count(), 0);

        // a sequence from 2 to 3 (indices 1 .. 2)
        s.setFirstSet(1);
        QCOMPARE(files.count(), 1);
        QCOMPARE(s.currentName(), QString("7110eV"));
        s.setNextSet(2);
        QCOMPARE(files.count(), 2);
        QCOMPARE(s.currentName(), QString("7120eV"));
        s.setNextSet(2);
        QCOMPARE(none.count(), 1);
        QCOMPARE(files.count(), 2);
        QCOMPARE(s.currentIndex(), 2);
        // a last index beyond the list stops at the last entry
        s.setNextSet(99);
        QCOMPARE(files.count(), 3);
        s.setNextSet(99);
        QCOMPARE(none.count(), 2);

        // a first index beyond the list (or below it) hands nothing over
        s.setFirstSet(4);
        QCOMPARE(s.currentIndex(), -1);
        QCOMPARE(none.count(), 3);
        s.setFirstSet(-1);
        QCOMPARE(none.count(), 4);
        QCOMPARE(files.count(), 3);
        QCOMPARE(s.currentName(), QString());
        QCOMPARE(s.currentEnergy(), 0.0);
    }

    void emptyAndMissingDirectories()
    {
        const QString empty = makeDir("empty");
        SelectDataDir s;
        QSignalSpy sets(&s, &SelectDataDir::newSets);
        QSignalSpy none(&s, &SelectDataDir::noMoreSets);
        QSignalSpy files(&s, &SelectDataDir::selectedFileInfoList);
        QSignalSpy dirs(&s, &SelectDataDir::selected);

        // no directory chosen yet: switching layouts lists nothing (and not
        // the working directory)
        s.setIsASRStandard(false);
        QCOMPARE(sets.last().at(0).toInt(), 0);
        s.setIsASRStandard(true);
        QCOMPARE(sets.last().at(0).toInt(), 0);
        s.set();
        QCOMPARE(none.count(), 1);
        QVERIFY(!s.next());

        for (const QString &d : {empty, tmp.filePath("missing")}) {
            for (bool std : {true, false}) {
                s.setIsASRStandard(std);
                s.setDataDir(d);
                QCOMPARE(sets.last().at(0).toInt(), 0);
                QVERIFY(!s.next());
                s.set();
                s.setFirstSet(0);
                s.setNextSet(5);
            }
        }
        QCOMPARE(none.count(), 1 + 4 * 3);
        QCOMPARE(files.count(), 0);
        QCOMPARE(dirs.count(), 0);
    }
};

QTEST_MAIN(TestSelectDataDir)
#include "TestSelectDataDir.moc"
