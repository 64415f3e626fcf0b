// scripts/slurm-xafs without SLURM: the job script it writes for a setup that
// the real program saved ("setup_save"), one array task of it run by hand
// (SLURM_ARRAY_TASK_ID), and the values it must refuse because they would
// break the script or give tasks that cannot be right.
#include "Phantom.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSlurmScript : public QObject
{
    Q_OBJECT
    QTemporaryDir tmp;
    QString work;   // the folder the script runs in: blanks and a "#" in its path

    struct Run {
        int status = -1;
        QByteArray out, err;
    };

    Run run(const QString &program, const QStringList &args, const QString &taskId = QString())
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TOMIX_BUILD_DIR", TOMIX_BUILD_DIR);
        env.insert("QT_LOGGING_RULES", "*.debug=false");
        env.remove("SLURM_CPUS_PER_TASK");
        if (!taskId.isEmpty())
            env.insert("SLURM_ARRAY_TASK_ID", taskId);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work);
        p.start(program, args);
        Run r;
        if (!p.waitForFinished(180000))
            return r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    Run slurmXafs(const QStringList &args)
    {
        return run("bash", QStringList{TOMIX_SOURCE_DIR "/scripts/slurm-xafs"} + args);
    }
    // Writes the job script of `args` and runs its task `id` by hand.
    Run task(const QStringList &args, int id)
    {
        const Run made = slurmXafs(args);
        if (made.status != 0)
            return made;
        writeTestFile(tmp, "work dir #1/job.sh", made.out);
        return run("bash", {"job.sh"}, QString::number(id));
    }
    bool exists(const QString &rel) const { return QFile::exists(work + "/" + rel); }

private slots:
    void initTestCase()
    {
        work = tmp.filePath("work dir #1");
        QVERIFY(QDir().mkpath(work));
        Phantom::Options o;
        o.width = 32;
        o.height = 8;
        o.projections = 12;
        o.energies = {7100, 7125};
        QString err;
        QVERIFY2(Phantom::standard(o).writeSeries(work + "/data", &err), qPrintable(err));
        // a data set without a name: nothing between the last two "-"
        QVERIFY(QDir().mkpath(work + "/unnamed"));
        // and one whose name (its sub-directory) holds a line end
        QVERIFY(QDir().mkpath(work + "/sets/7100eV\nx"));
        for (const QString &f : QDir(work + "/data").entryList({"sample-7100eV-*.img"})) {
            QVERIFY(QFile::copy(work + "/data/" + f, work + "/unnamed/sample--" + f.section('-', 2)));
            QVERIFY(QFile::copy(work + "/data/" + f, work + "/sets/7100eV\nx/" + f));
        }
        // the setups, as the window saves them
        writeTestFile(tmp, "work dir #1/config.cfg", "");
        const QString bat = writeTestFile(tmp, "work dir #1/make.bat",
            "ct_rot_ax_is_v 1\n"
            "ct_slice_from 0\n"
            "ct_slice_to 7\n"
            "calc_ct2 1\n"
            "ct_auto_exec 1\n"
            "ct_threads 1\n"
            "calc_show_res 0\n"
            "images_keep_setup 0\n"
            "auto_save_data 1\n"
            "auto_save_data_path results/data\n"
            "auto_save_data_name x\n"
            "auto_save_in_sub_folders 1\n"
            "auto_save_in_sub_folders_of_slice 1\n"
            "auto_save_in_sub_folders_of_energy 1\n"
            "seq_exec_select_i0 data/ref i0-*.img\n"
            "add_inf_ASR_standard 1\n"
            "seq_exec_dir data\n"
            "seq_exec_file_pattern *.img\n"
            "setup_save setup.cfg\n"
            "auto_save_in_sub_folders 0\n"
            "auto_save_data_path unnamed-results\n"
            "seq_exec_dir unnamed\n"
            "setup_save unnamed.cfg\n"
            "add_inf_ASR_standard 0\n"
            "seq_exec_dir sets\n"
            "setup_save sets.cfg\n");
        const Run made = run(TOMIX_BIN, {"-nw", "-e", "-c", "config.cfg", "-b", bat, "-x", "-q"});
        QVERIFY2(made.status == 0, made.err.constData());
        // the first with CR line ends alone
        QFile f(work + "/setup.cfg");
        QVERIFY(f.open(QIODevice::ReadOnly));
        writeTestFile(tmp, "work dir #1/setup-cr.cfg", f.readAll().replace('\n', '\r'));
    }

    // From a folder whose path has blanks and a "#", with a setup whose lines
    // end in CR: the log folder goes to sbatch whole, and the task writes in
    // the folders "Seq. Calc." writes, sub-folders of energy and of slice.
    void aTaskWritesWhereTheSequenceWrites()
    {
        const Run made = slurmXafs({"setup-cr.cfg", "--output", "logs"});
        QVERIFY2(made.status == 0, made.err.constData());
        QVERIFY2(made.out.contains("\n#SBATCH --output=\"" + work.toUtf8() + "/logs/tomix-xafs-%A_%a.log\"\n"),
                 made.out.constData());
        QVERIFY(made.out.contains("\n#SBATCH --array=0-1\n"));
        const Run t = task({"setup-cr.cfg", "--output", "logs"}, 1);
        QVERIFY2(t.status == 0, (t.out + t.err).constData());
        for (int s = 0; s <= 7; ++s) {
            const QString name = QString::asprintf("x-7125eV-%05d.dat", s);
            QVERIFY2(exists("results/data/7125eV/" + name), qPrintable(name));
            QVERIFY2(exists(QString::asprintf("results/data/%05d/", s) + name), qPrintable(name));
        }
    }

    // A set without a name is a set all the same: with --skip-done its
    // chunk is made, not skipped as done.
    void aSetWithoutANameIsMade()
    {
        const Run t = task({"unnamed.cfg", "--slices-per-task", "4", "--skip-done"}, 0);
        QVERIFY2(t.status == 0, (t.out + t.err).constData());
        QVERIFY2(!t.out.contains("skipped"), t.out.constData());
        for (int s = 0; s <= 3; ++s)
            QVERIFY(exists(QString::asprintf("unnamed-results/x--%05d.dat", s)));
        QVERIFY(!exists("unnamed-results/x--00004.dat"));
    }

    // Refused with a message and no script: values with a line end, which
    // would end a line of the script and start a command of every task, and
    // numbers the data cannot have.
    void refusesWhatWouldBreakTheTasks()
    {
        QVERIFY(QFile::copy(work + "/setup.cfg", work + "/setup\ntouch injected.cfg"));
        const QList<QStringList> refused = {
            {"setup\ntouch injected.cfg"},
            {"setup.cfg", "--partition", "batch\ntouch injected"},
            {"setup.cfg", "--time", "1:00:00\ntouch injected"},
            {"setup.cfg", "--mem", "9G\ntouch injected"},
            {"setup.cfg", "--output", "logs\ntouch injected"},
            {"sets.cfg"},                                   // a set's name with a line end
            {"setup.cfg", "--to", "3"},                     // 2 data sets
            {"setup.cfg", "--slices-per-task", "9"},        // 8 slices
            {"setup.cfg", "--cpus-per-task", "0"},
        };
        for (const QStringList &args : refused) {
            const QString what = args.join(' ');
            const Run r = slurmXafs(args);
            QVERIFY2(r.status == 1, qPrintable(what + ": status " + QString::number(r.status)));
            QVERIFY2(r.out.isEmpty(), qPrintable(what));
            QVERIFY2(r.err.contains("slurm-xafs: ") || r.err.contains("tomix-xafs-plan: "), qPrintable(what));
        }
    }
};

QTEST_MAIN(TestSlurmScript)
#include "TestSlurmScript.moc"
