#pragma once
// The workflow with the external 2-D XAFS viewer: sends it the data files of
// a slice, then (with "with 2DA" or a continuous run) asks for its 2-D
// analysis, and in a continuous run goes on with the next slice of the range.
//
// States (stage()):
//   0 idle      - nothing asked of the viewer.
//   1 loading   - the slice's files were sent (sendSliceFiles); on the
//                 viewer's "LOAD_I1_FILES[_OF_PATTERN]" done: to 2 when the
//                 analysis follows ("with 2DA" or continuous), else to 0.
//   2 analysing - "ANALYZER_EXEC_2DA" was sent; when it is done: continuous
//                 and slices left -> 1 with the next slice, else 0.
// A busy viewer holds the state; it moves when the viewer reports not busy.
// continuous(): "Cont. 2DA" runs from the range's From to To by its step
// (pointed towards To); the button stops it, and a (re)connection resets all.
#include <QObject>
#include <QString>
#include <QStringList>

class OrvexLink;
namespace Ui { class Body; }

class ViewerWorkflow : public QObject
{
    Q_OBJECT
public:
    ViewerWorkflow(Ui::Body *ui, OrvexLink *link, QObject *parent = nullptr);

    // Connects the link and the buttons; the link starts connecting.
    void attach();
    int stage() const { return stageNo; }
    bool continuous() const { return cont; }
    // Makes `slice` current and sends its data files to the viewer.
    void sendSliceFiles(int slice);

signals:
    void loadFilesOfPattern(QString path);
    void loadFiles(QStringList fileList);
    void exec2dA(QString sliceNoS);
    void statChanged();

private slots:
    void initFlags();
    void changedIsBusy(bool f);
    void stageCtrl();
    void startCont2dA();
    void exec2dAOfCurrentSlice();

private:
    Ui::Body *ui;
    OrvexLink *orx;
    bool busyShown = false;
    int stageNo = 0;
    bool cont = false;
    int from = 0, to = 0, step = 1, current = 0;
};
