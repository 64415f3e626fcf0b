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
    // The typed value as it stands, for messages.
    QString i0Text() const;
    // Marks the value field as refused (red, the reason as its tip) or not.
    void showValueRefused(bool refused, const QString &why = QString());

signals:
    // The value (set, or typed and confirmed) or the XAFS choice changed.
    void changed();

private:
    Ui::I0ofImage *ui;
};
