#pragma once
// The file dialog of "Save Setup" and "Load Setup": one dialog, opened for
// saving (any name) or for loading (an existing file); the file chosen is
// handed on as saveAsked or loadAsked, by the mode it was opened in.
#include <QObject>
#include <QString>

class QFileDialog;
namespace Ui { class Body; }

class SetupDialog : public QObject
{
    Q_OBJECT
public:
    explicit SetupDialog(Ui::Body *ui, QObject *parent = nullptr);
    ~SetupDialog() override;

signals:
    void saveAsked(QString fname);
    void loadAsked(QString fname);

private slots:
    void showSave();
    void showLoad();
    void fileSelected(const QString &fname);

private:
    QFileDialog *dialog;
    bool saveMode = true;
};
