#pragma once
// I0 information of a CT-XAFS image set: a value, or an XAFS file to take it
// from, and where the energy stands in the image file names.
#include <QFrame>

class SelectAFile;
namespace Ui { class I0ofImage; }

class I0ofImage : public QFrame
{
    Q_OBJECT
public:
    explicit I0ofImage(QWidget *parent = nullptr);
    ~I0ofImage() override;

    void setTitle(const QString &title);
    void setI0Val(double v);
    double i0Val() const;
    void setCalcFromXafs(bool on);
    bool calcFromXafs() const;
    void setXafsFile(const QString &path);
    void clearXafsFile();
    QString xafsFile() const;
    void setEngPattern(const QString &pattern);
    QString engPattern() const;
    SelectAFile *xafsSelector() const;

private:
    Ui::I0ofImage *ui;
};
