#pragma once
// The data sets of a CT-XAFS directory, one per X-ray energy, listed for a
// sequence over energies. Two layouts:
//  - standard ("ASR Std." checked): all files in the one directory, named
//    sample-energy-index; a set is a run of files (by name) sharing
//    everything before their last "-" (see CtFileSet);
//  - sub-directories: every sub-directory is one set, its name carries the
//    energy.
// The chosen set is handed over as a file list (standard layout) or as a
// directory with file-name patterns (sub-directory layout).
#include <QFileInfoList>
#include <QFrame>
#include <QList>
#include <QStringList>

class CtFileSet;
class SelectDir;
namespace Ui { class SelectDataDir; }

class SelectDataDir : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDataDir(QWidget *parent = nullptr);
    ~SelectDataDir() override;

    Ui::SelectDataDir *form() const { return ui; }

    // The data directory chosen in the directory selector.
    QString dataDir() const;
    // Chooses dir as if picked in the directory dialog: the dialog starts
    // there next time, the selector shows it, the list is rebuilt and
    // newSets is emitted.
    void setDataDir(const QString &dir);

    QString pattern() const;
    // A new pattern rebuilds the list of the chosen directory (newSets).
    void setPattern(const QString &pattern);
    bool isASRStandard() const;

    int count() const;
    int currentIndex() const;
    // The current set's name: its energy token in the standard layout, the
    // sub-directory name otherwise; empty when there is no current set.
    QString currentName() const;
    // The current set's energy in eV; 0 when there is no current set.
    double currentEnergy() const;
    // Set i (0-based) of the list: its name and energy as above (empty, 0
    // when there is no such set), and its files in the order the loader
    // takes them (empty when there is no such set or no file matches).
    QString nameOfSet(int i) const;
    double energyOfSet(int i) const;
    QStringList filesOfSet(int i) const;
    // The sets of the standard layout (empty in the other layout).
    const QList<CtFileSet *> &fileSets() const { return sets; }

signals:
    void newSets(int items);
    void selected(const QString &dir, const QStringList &patterns);
    void selectedFileInfoList(const QFileInfoList &fileInofs);
    void noMoreSets();

private slots:
    void aDirSelected(const QString &dir);
    void changedASRStd();
    void setSubDirs(const QString &dir);
    void setFileSets(const QString &dir);

public slots:
    void setIsASRStandard(bool f);
    void set();
    // Moves to the next entry without handing it over; false (and no move)
    // at the last entry or with an empty list.
    bool next();
    void setFirstSet(int firstIdx);
    void setNextSet(int lastIdx);

private:
    void rebuild(const QString &dir);
    void clearSets();

    Ui::SelectDataDir *ui;
    QList<CtFileSet *> sets;
    QStringList subDirNames;
    QString currentDir;
};
