#pragma once
// Frame holding one DispA; re-emits its signals so owners connect here.
#include <QFrame>

class DispA;
class QGridLayout;
#include <QPainter>
namespace Ui { class DispAWLayout; }

class DispAWLayout : public QFrame
{
    Q_OBJECT
public:
    explicit DispAWLayout(QWidget *parent = nullptr);
    ~DispAWLayout() override;

    DispA *dispA() const;
    QGridLayout *gridLayout() const;

signals:
    void drawImage0(QPainter *p);
    void drawImage1(QPainter *p);
    void drawImage2(QPainter *p);
    void mouseMoved0();
    void mousePressed0();
    void mouseReleased0();
    void mouseDoubleClicked0();
    void wheelMoved0();

private:
    Ui::DispAWLayout *ui;
};
