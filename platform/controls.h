// Thin wrappers for the two common controls the property page drives. A
// wrapper is attached to a dialog item by its dialog (CDialog::AttachControl)
// and detached when that window goes; unattached, every call does nothing.
#pragma once

#include "platform/com_base.h"

// Registers the trackbar and up-down window classes for this process; a
// dialog template that uses them can be created afterwards.
void EnsureCommonControls();

class CControl {
public:
    CControl() = default;
    CControl(const CControl&) = delete;
    CControl& operator=(const CControl&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

protected:
    ~CControl() = default;
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const;

private:
    friend class CDialog;
    HWND m_hWnd = nullptr;
};

// A trackbar.
class CSliderCtrl : public CControl {
public:
    void SetRange(int minimum, int maximum, bool redraw);
    void SetPos(int position);  // redraws
};

// An up-down control.
class CSpinButtonCtrl : public CControl {
public:
    void SetRange(short lower, short upper);
    void SetPos(short position);
};
