#pragma once
// One file path: chosen in a dialog (open or save mode), shown, cleared.
#include <QFrame>

class QFileDialog;
class QGridLayout;
namespace Ui { class SelectAFile; }

class SelectAFile : public QFrame
{
    Q_OBJECT
public:
    explicit SelectAFile(QWidget *parent = nullptr);
    ~SelectAFile() override;

    // 0: open one image file; 1: save (any file, its directory is created).
    void setMode(int m);
    int getMode() const { return mode; }
    void setPath(const QString &path);
    QString path() const;
    QString name() const;
    QString addTag() const;
    void setName(const QString &name);
    void setAddTag(const QString &tag);
    void showNameAndTag(bool show);
    QFileDialog *dialog() const { return fileDialog; }

signals:
    void fileSelected(const QString &fname);
    void clear();

public slots:
    void setStat(bool f);
    void fileSelected0(const QString &fname);
    void clear0();

protected:
    QGridLayout *rowLayout() const;
    Ui::SelectAFile *ui;

private:
    int mode = 0;
    QFileDialog *fileDialog;
};
