#include "platform/dialog.h"

#include "platform/module_state.h"

bool CDialog::Create(HWND parent) {
    if (m_hWnd != nullptr) return false;
    EnsureCommonControls();
    // WM_INITDIALOG binds the window to this object before creation returns.
    return CreateDialogParamA(CurrentResourceModule(), MAKEINTRESOURCEA(m_templateId), parent, &CDialog::DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::DestroyWindow() {
    const HWND window = m_hWnd;
    if (window == nullptr) return;
    LetGoOfWindow();
    ::DestroyWindow(window);
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void CDialog::OnHScroll(UINT, UINT, HWND) {}
void CDialog::OnVScroll(UINT, UINT, HWND) {}
bool CDialog::OnMessage(UINT, WPARAM, LPARAM) { return false; }

void CDialog::AttachControl(CControl& control, int id) {
    if (m_controlCount == kMaxControls) return;
    control.m_hWnd = GetDlgItem(m_hWnd, id);
    m_controls[m_controlCount++] = &control;
}

void CDialog::LetGoOfWindow() {
    SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
    m_hWnd = nullptr;
    for (int i = 0; i < m_controlCount; ++i) m_controls[i]->m_hWnd = nullptr;
    m_controlCount = 0;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        CDialog* const dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }
    CDialog* const dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;  // before initialisation, or after the object let go
    switch (message) {
    case WM_HSCROLL:
        dialog->OnHScroll(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_VSCROLL:
        dialog->OnVScroll(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_NCDESTROY:  // destroyed from outside, with its parent
        dialog->LetGoOfWindow();
        return FALSE;
    default:
        return dialog->OnMessage(message, wParam, lParam) ? TRUE : FALSE;
    }
}

namespace {
// Takes the dialog's initialisation and leaves every other message to the
// system's dialog handling. That handling frees, at WM_NCDESTROY, the
// dialog's font and the record it keeps for the dialog; a procedure that
// claims that message keeps both alive for the life of the process, once
// for every measurement.
INT_PTR CALLBACK InitialiseOnly(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
}  // namespace

bool MeasureDialogTemplate(HINSTANCE module, UINT templateId, SIZE* size) {
    EnsureCommonControls();
    const HWND window =
        CreateDialogParamA(module, MAKEINTRESOURCEA(templateId), GetDesktopWindow(), &InitialiseOnly, 0);
    if (window == nullptr) return false;
    RECT bounds = {};
    GetWindowRect(window, &bounds);
    ::DestroyWindow(window);
    size->cx = bounds.right - bounds.left;
    size->cy = bounds.bottom - bounds.top;
    return true;
}
