#pragma once
// Mouse record of one drawing area: positions in widget pixels, buttons and
// keyboard modifiers of the latest events of each kind.
#include <QObject>

class MouseC : public QObject
{
    Q_OBJECT
public:
    // Code of a press: left button 0..7, right button 8..15, in the order
    // none, Shift, Control, Alt, Shift+Control, Shift+Alt, Control+Alt,
    // Shift+Control+Alt (Meta ignored); any other button 16.
    enum MStat {
        Left = 0, LeftShift, LeftCtrl, LeftAlt, LeftShiftCtrl, LeftShiftAlt, LeftCtrlAlt,
        LeftShiftCtrlAlt,
        Right, RightShift, RightCtrl, RightAlt, RightShiftCtrl, RightShiftAlt, RightCtrlAlt,
        RightShiftCtrlAlt,
        OtherButton
    };
    Q_ENUM(MStat)

    explicit MouseC(QObject *parent = nullptr);

    static MStat mStatOf(int button, int mods);
    MStat mStat() const { return mStatOf(pressButton, pressMods); }

    int prevX = 0, prevY = 0;
    int curX = 0, curY = 0;
    int pressX = 0, pressY = 0;
    int releaseX = 0, releaseY = 0;
    int dclickX = 0, dclickY = 0;
    bool pressed = false;
    bool pressLeft = false, pressRight = false;
    bool pressShift = false, pressCtrl = false, pressAlt = false;
    bool moveShift = false, moveCtrl = false, moveAlt = false;
    int curButton = 0, pressButton = 0, releaseButton = 0, dclickButton = 0;
    int curMods = 0, pressMods = 0, releaseMods = 0, dclickMods = 0;

    // Record updates; each emits its notification at the end.
    void moved(int x, int y, int button, int mods);
    void pressedAt(int x, int y, int button, int mods);
    void releasedAt(int x, int y, int button, int mods);
    void doubleClickedAt(int x, int y, int button, int mods);

signals:
    void mMoved();
    void mPressed();
    void mReleased();
    void mDClicked();
    void wMoved(int step);
    void mEntered();
    void mLeaved();
    void mEnterLeave(bool f);
};
