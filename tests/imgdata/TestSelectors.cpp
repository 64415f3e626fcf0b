// The file, directory, seek and data-file selectors and the I0 panel.
#include "I0ofImage.h"
#include "NaturalOrder.h"
#include "SeekCtrl.h"
#include "SelectAFile.h"
#include "SelectDataFiles.h"
#include "ui_SelectDataFiles.h"
#include "ui_SeekCtrl.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <random>

class TestSelectors : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;

private slots:
    void multiTimes()
    {
        SelectDataFiles s;
        QSignalSpy spy(&s, &SelectDataFiles::filesSelected);
        s.form()->LoadMultiTimes->setChecked(true);
        s.chooseFileInfos({QFileInfo("/d/a.img"), QFileInfo("/d/b.img"), QFileInfo("/d/c.img")});
        QCOMPARE(spy.count(), 1);
        const QStringList files = spy.at(0).at(0).toStringList();
        QCOMPARE(files.size(), 180);
        QVERIFY(files.count("/d/a.img") == 180);
        QCOMPARE(spy.at(0).at(1).toBool(), true);

        for (const char *bad : {"abc", "0", "-3", "99999999999"}) {
            s.form()->MultiTimes->setText(bad);
            s.chooseFileInfos({QFileInfo("/d/a.img")});
            QVERIFY2(spy.last().at(0).toStringList().isEmpty(), bad);
        }
        // an empty choice is handed on as it is
        s.form()->MultiTimes->setText("5");
        s.chooseFileInfos({});
        QVERIFY(spy.last().at(0).toStringList().isEmpty());
    }

    void newOrAdd()
    {
        SelectDataFiles s;
        QSignalSpy cleared(&s, &SelectDataFiles::filesCleared);
        QSignalSpy chosen(&s, &SelectDataFiles::filesSelected);
        s.appendFile("/d/1.img");
        s.appendFile("/d/2.img");
        QCOMPARE(s.form()->Count->text(), QString("2"));

        s.form()->AddFiles->setChecked(true);
        QVERIFY(!s.form()->LoadNewFiles->isChecked());        // one exclusive group
        s.chooseFileInfos({QFileInfo("/d/3.img")});
        QCOMPARE(cleared.count(), 0);
        QCOMPARE(chosen.last().at(1).toBool(), false);
        s.appendFile("/d/3.img");
        QCOMPARE(s.count(), 3);
        QCOMPARE(s.file(2), QString("/d/3.img"));

        s.form()->LoadNewFiles->setChecked(true);
        s.chooseFileInfos({QFileInfo("/d/4.img")});
        QCOMPARE(cleared.count(), 1);
        QCOMPARE(s.count(), 0);
        QCOMPARE(s.form()->Count->text(), QString("0"));
        QCOMPARE(chosen.last().at(1).toBool(), true);
    }

    void chooseInDirSortsIgnoringCase()
    {
        QDir d(tmp.path());
        d.mkdir("set");
        for (const char *n : {"b.img", "A.img", "c.txt", "a2.img"}) {
            QFile f(d.filePath(QString("set/") + n));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        SelectDataFiles s;
        QSignalSpy chosen(&s, &SelectDataFiles::filesSelected);
        s.chooseDir(d.filePath("set"), {"*.img"});
        const QStringList files = chosen.last().at(0).toStringList();
        QCOMPARE(files, (QStringList{d.filePath("set/A.img"), d.filePath("set/a2.img"),
                                     d.filePath("set/b.img")}));
    }

    // Series are sorted by name, and the order must not depend on the order
    // the directory lists them in: one strict weak ordering over any names
    // (digits of other scripts, superscripts, leading zeros, case, empty).
    void naturalOrderIsOneOrder()
    {
        const QStringList names{
            "p10", QString::fromUtf8(u8"p\u00b2"), QString::fromUtf8(u8"p\u0663"), "p2", "p02", "p1",
            "p01", "P1", "p001a", "p1a", "p1A", "", "p", "P", "p0", "p00", "a9", "A10",
            QString::fromUtf8(u8"p\uff11"), QString::fromUtf8(u8"p\U0001D7D9"), "p 1", "p_1", "p-1"};
        auto cmp = [](const QString &a, const QString &b) { return NaturalOrder::compare(a, b); };
        for (const QString &a : names) {
            QVERIFY2(cmp(a, a) == 0, qPrintable(a));
            for (const QString &b : names) {
                QVERIFY2((cmp(a, b) < 0) == (cmp(b, a) > 0), qPrintable(a + " / " + b));
                QVERIFY2(cmp(a, b) != 0 || a == b, qPrintable(a + " / " + b));
                for (const QString &c : names)
                    if (cmp(a, b) < 0 && cmp(b, c) < 0)
                        QVERIFY2(cmp(a, c) < 0, qPrintable(a + " < " + b + " < " + c));
            }
        }
        // the documented order stays
        QVERIFY(NaturalOrder::lessThan("p2", "p10"));
        QVERIFY(NaturalOrder::lessThan("a9", "A10"));
        QVERIFY(NaturalOrder::lessThan("P1", "p2") && NaturalOrder::lessThan("p1", "P2"));

        QStringList first = names;
        NaturalOrder::sort(first);
        std::mt19937 rng(7);
        for (int round = 0; round < 500; ++round) {
            QStringList shuffled = names;
            std::shuffle(shuffled.begin(), shuffled.end(), rng);
            NaturalOrder::sort(shuffled);
            QCOMPARE(shuffled, first);
        }
        // every starting order of the three names that made a cycle
        QStringList three{"p10", QString::fromUtf8(u8"p\u00b2"), QString::fromUtf8(u8"p\u0663")};
        std::sort(three.begin(), three.end());
        QStringList once;
        do {
            QStringList s = three;
            NaturalOrder::sort(s);
            if (once.isEmpty())
                once = s;
            QCOMPARE(s, once);
        } while (std::next_permutation(three.begin(), three.end()));
    }

    void selectPrevNext()
    {
        SelectDataFiles s;
        for (int i = 0; i < 3; ++i)
            s.appendFile(QString("/d/%1.img").arg(i));
        QSignalSpy idx(&s, &SelectDataFiles::currentIndexChanged);
        s.select(-1);
        s.select(3);
        QCOMPARE(s.currentIndex(), 0);
        s.prev();
        QCOMPARE(idx.count(), 0);
        s.select(2);
        s.next();
        QCOMPARE(s.currentIndex(), 2);
        s.prev();
        QCOMPARE(s.currentIndex(), 1);
        QCOMPARE(idx.count(), 2);
    }

    void numberFormats()
    {
        SelectDataFiles s;
        s.setExpTime(0.05);
        QCOMPARE(s.form()->ExpTime->text(), QString("0.05"));
        s.setExpTime(0.0000001);
        QCOMPARE(s.form()->ExpTime->text(), QString("1e-07"));
        QCOMPARE(s.expTime(), 1e-7);
        s.form()->ExpTime->setText("fast");
        QCOMPARE(s.expTime(), 0.0);

        I0ofImage p;
        p.setI0Val(1);
        QCOMPARE(p.findChild<QLineEdit *>("I0Val")->text(), QString("1"));
        p.setI0Val(0.000123456789);
        QCOMPARE(p.findChild<QLineEdit *>("I0Val")->text(), QString("0.000123457"));
    }

    void simpleMode()
    {
        SelectDataFiles s;
        s.show();
        s.form()->AddFiles->setChecked(true);
        s.setSimpleMode(true);
        QVERIFY(s.form()->LoadNewFiles->isChecked());
        QVERIFY(!s.form()->MultiTimes->isVisible() && !s.form()->KeepConditions->isVisible());
        s.setSimpleMode(false);
        QVERIFY(s.form()->MultiTimes->isVisible());
    }

    void fileSelector()
    {
        SelectAFile f;
        QSignalSpy sel(&f, &SelectAFile::fileSelected);
        f.fileSelected0("/data/x.tar.gz");
        QCOMPARE(f.path(), QString("/data/x.tar.gz"));
        QCOMPARE(f.name(), QString("x"));
        QCOMPARE(sel.count(), 1);

        // save mode: the directory is shown and created
        f.setMode(1);
        const QString dir = tmp.filePath("a/b");
        f.fileSelected0(dir + "/out.dat");
        QCOMPARE(f.path(), dir);
        QCOMPARE(f.name(), QString("out"));
        QVERIFY(QDir(dir).exists());

        QSignalSpy cleared(&f, &SelectAFile::clear);
        f.clear0();
        QVERIFY(f.path().isEmpty() && f.name().isEmpty());
        QCOMPARE(cleared.count(), 1);
        QVERIFY(QDir(dir).exists());

        f.setStat(false);
        QCOMPARE(f.findChild<QLineEdit *>("FilePath")->styleSheet(),
                 QString("background-color: rgb(255, 192, 192);"));

        I0ofImage p;
        p.setXafsFile("/xafs/run1.dat");
        QCOMPARE(p.xafsFile(), QString("/xafs/run1.dat"));
        QCOMPARE(p.xafsSelector()->name(), QString("run1"));
        QVERIFY(p.calcFromXafs());                      // nothing else changed
        p.clearXafsFile();
        QVERIFY(p.xafsFile().isEmpty());
    }

    void seekSteps()
    {
        SeekCtrl s;
        s.setMaximum(25);
        QSignalSpy spy(&s, &SeekCtrl::newIndex);
        auto *inc = s.findChild<QToolButton *>("Inc");
        auto *dec = s.findChild<QToolButton *>("Dec");
        dec->click();                                   // at 0: nothing
        QCOMPARE(spy.count(), 0);
        inc->click();
        QCOMPARE(s.value(), 10);
        QCOMPARE(spy.last().at(0).toInt(), 10);
        inc->click();
        inc->click();
        QCOMPARE(s.value(), 25);
        spy.clear();
        inc->click();                                   // at the maximum: nothing
        QCOMPARE(spy.count(), 0);
        s.findChild<QSpinBox *>("Index")->setValue(15);
        QCOMPARE(s.value(), 15);
        dec->click();
        QCOMPARE(s.value(), 5);
        s.findChild<QSpinBox *>("Index")->setValue(10);
        dec->click();
        QCOMPARE(s.value(), 0);
        QCOMPARE(s.findChild<QSpinBox *>("Index")->value(), 0);
    }
};

QTEST_MAIN(TestSelectors)
#include "TestSelectors.moc"
