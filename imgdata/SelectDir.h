#pragma once
// One directory, chosen in a dialog and shown.
#include <QFrame>

class QFileDialog;
namespace Ui { class SelectDir; }

class SelectDir : public QFrame
{
    Q_OBJECT
public:
    explicit SelectDir(QWidget *parent = nullptr);
    ~SelectDir() override;

    QString dir() const;
    QFileDialog *dialog() const { return fileDialog; }

signals:
    void aDirSelected(const QString &dir);

private slots:
    void setDirName(const QString &dir);

private:
    Ui::SelectDir *ui;
    QFileDialog *fileDialog;
};
