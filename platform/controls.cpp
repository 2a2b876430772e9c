#include "platform/controls.h"

#include <commctrl.h>

void EnsureCommonControls() {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&classes);
}

LRESULT CControl::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return m_hWnd != nullptr ? SendMessageA(m_hWnd, message, wParam, lParam) : 0;
}

void CSliderCtrl::SetRange(int minimum, int maximum, bool redraw) {
    Send(TBM_SETRANGEMIN, FALSE, minimum);
    Send(TBM_SETRANGEMAX, redraw, maximum);
}

void CSliderCtrl::SetPos(int position) { Send(TBM_SETPOS, TRUE, position); }

void CSpinButtonCtrl::SetRange(short lower, short upper) { Send(UDM_SETRANGE, 0, MAKELPARAM(upper, lower)); }

void CSpinButtonCtrl::SetPos(short position) { Send(UDM_SETPOS, 0, MAKELPARAM(position, 0)); }
