#include "MouseC.h"

namespace {
bool exactly(int mods, Qt::KeyboardModifier m) { return mods == int(m); }
}

MouseC::MouseC(QObject *parent) : QObject(parent) {}

MouseC::MStat MouseC::mStatOf(int button, int mods)
{
    int base;
    if (button == Qt::LeftButton)
        base = Left;
    else if (button == Qt::RightButton)
        base = Right;
    else
        return OtherButton;
    // none, Shift, Control, Alt, Shift+Control, Shift+Alt, Control+Alt, all three
    static const int offset[8] = {0, 1, 2, 4, 3, 5, 6, 7}; // index: Shift 1, Control 2, Alt 4
    const int bits = ((mods & Qt::ShiftModifier) ? 1 : 0) | ((mods & Qt::ControlModifier) ? 2 : 0)
                     | ((mods & Qt::AltModifier) ? 4 : 0);
    return MStat(base + offset[bits]);
}

void MouseC::moved(int x, int y, int button, int mods)
{
    prevX = curX;
    prevY = curY;
    curX = x;
    curY = y;
    curButton = button;
    curMods = mods;
    moveShift = exactly(mods, Qt::ShiftModifier);
    moveCtrl = exactly(mods, Qt::ControlModifier);
    moveAlt = exactly(mods, Qt::AltModifier);
    emit mMoved();
}

void MouseC::pressedAt(int x, int y, int button, int mods)
{
    prevX = curX;
    prevY = curY;
    curX = pressX = x;
    curY = pressY = y;
    curButton = pressButton = button;
    curMods = pressMods = mods;
    pressed = true;
    pressLeft = button == Qt::LeftButton;
    pressRight = button == Qt::RightButton;
    pressShift = exactly(mods, Qt::ShiftModifier);
    pressCtrl = exactly(mods, Qt::ControlModifier);
    pressAlt = exactly(mods, Qt::AltModifier);
    emit mPressed();
}

void MouseC::releasedAt(int x, int y, int button, int mods)
{
    prevX = curX;
    prevY = curY;
    curX = releaseX = x;
    curY = releaseY = y;
    pressed = pressLeft = pressRight = false;
    curButton = releaseButton = button;
    curMods = releaseMods = mods;
    emit mReleased();
}

void MouseC::doubleClickedAt(int x, int y, int button, int mods)
{
    dclickX = x;
    dclickY = y;
    curButton = dclickButton = button;
    curMods = dclickMods = mods;
    emit mDClicked();
}
