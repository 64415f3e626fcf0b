#pragma once
// One CT data set of a CT-XAFS directory in the standard layout: the run of
// files sample-energy-index that share everything before their last "-".
#include <QFileInfoList>
#include <QObject>
#include <QString>

class CtFileSet : public QObject
{
    Q_OBJECT
public:
    // A set opened by its first file; the naming fields come from its name.
    explicit CtFileSet(const QFileInfo &first, QObject *parent = nullptr);

    // The set's key of a file: its name up to (not including) its last "-",
    // the whole name when it has none.
    static QString prefixOf(const QString &fileName);

    // Adds the file when its key is the set's prefix; false (and nothing
    // added) otherwise.
    bool add(const QFileInfo &file);

    const QFileInfoList &files() const { return files_; }
    QString firstName() const { return firstName_; }
    QString prefix() const { return prefix_; }
    QString sampleName() const { return sampleName_; }
    QString energyToken() const { return energyToken_; }
    QString unit() const { return unit_; }
    double multiplier() const { return multiplier_; }
    double energyNumber() const { return energyNumber_; }
    // energyNumber x multiplier, in eV.
    double energy() const { return energyNumber_ * multiplier_; }

private:
    QFileInfoList files_;
    QString firstName_;
    QString prefix_;
    QString sampleName_;
    QString energyToken_;
    QString unit_;
    double multiplier_ = 1;
    double energyNumber_ = 0;
};
