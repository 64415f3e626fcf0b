#pragma once
// Picks the projection files of a data set (or, in simple mode, a set of I0
// files) and lists the files that were loaded.
#include <QFileInfo>
#include <QFrame>
#include <QStringList>

class QButtonGroup;
class QFileDialog;
namespace Ui { class SelectDataFiles; }

class SelectDataFiles : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDataFiles(QWidget *parent = nullptr);
    ~SelectDataFiles() override;

    void appendFile(const QString &path);
    // After a series has loaded: `Count` shows the failed style, and names
    // the rejected files in its tool tip, when any file was rejected.
    void showLoadResult(int loaded, int total, const QStringList &rejected);
    int multiTimes() const;
    void setSimpleMode(bool on);
    void setTitle(const QString &title);
    void setSelectText(const QString &text);
    bool isSimpleMode() const { return simpleMode; }
    // Both choose the entries of dir that match a pattern; false (after a
    // warning naming it) when dir cannot be read or nothing matches.
    bool chooseDir(const QString &dir, const QStringList &patterns);
    // With `replace` the chosen files replace the series whatever the
    // "New"/"Add" choice (each data set of a sequence stands alone).
    bool chooseInDir(const QString &dir, const QStringList &patterns, bool replace = false);
    void chooseFileInfos(const QList<QFileInfo> &infos, bool replace = false);

    // Access for the owner and the command dispatcher.
    Ui::SelectDataFiles *form() const { return ui; }
    QFileDialog *dialog() const { return fileDialog; }
    bool newFiles() const;
    bool keepConditions() const;
    int count() const;
    QString file(int idx) const;
    int currentIndex() const;

signals:
    void currentIndexChanged(int idx);
    void filesSelected(const QStringList &files, bool newFile);
    void filesCleared();

public slots:
    void clearFiles();
    void prev();
    void next();
    void select(int idx);
    void setExpTime(double time);
    double expTime();

private:
    void filesChosen(const QStringList &files);
    void chooseFiles(const QStringList &files, bool replace);

    Ui::SelectDataFiles *ui;
    QFileDialog *fileDialog;
    QButtonGroup *newOrAdd;
    bool simpleMode = false;
};
