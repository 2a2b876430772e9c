// A modeless child dialog made from a template, in place of an application
// framework's dialog class: creation as a child of a given window, an
// initialisation hook, scroll notifications dispatched to handlers, control
// objects attached to the template's items by id, and destruction. Any other
// message goes to OnMessage, and otherwise to the system's default dialog
// handling.
//
// [window thread] All of it runs on the thread that creates the window.
#pragma once

#include "platform/com_base.h"
#include "platform/controls.h"

class CDialog {
public:
    explicit CDialog(UINT templateId) : m_templateId(templateId) {}
    virtual ~CDialog() { DestroyWindow(); }
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the window, hidden or as the template says, from the template
    // in the module selected on this thread (CurrentResourceModule), as a
    // child of `parent`. OnInitDialog has run when it returns. False when no
    // window could be made, or one exists already.
    bool Create(HWND parent);

    // Destroys the window, if there is one. The object lets go of the window
    // and its controls first, so nothing that arrives during the destruction
    // reaches it. A window destroyed by its parent is let go of the same way.
    void DestroyWindow();

protected:
    // Once per creation, after the template's items exist. The base attaches
    // the controls (DoDataExchange); its result goes back to the system.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange() {}
    virtual void OnHScroll(UINT code, UINT position, HWND control);
    virtual void OnVScroll(UINT code, UINT position, HWND control);
    // Any message not handled above; true when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // Binds a control object to the template item with this id, until the
    // window goes.
    void AttachControl(CControl& control, int id);

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void LetGoOfWindow();

    static constexpr int kMaxControls = 16;
    const UINT m_templateId;
    CControl* m_controls[kMaxControls] = {};
    int m_controlCount = 0;
};

// The size in pixels of a dialog template from `module`, made hidden as a
// child of the desktop with a procedure that only takes WM_INITDIALOG, and
// destroyed again. False when it could not be made.
bool MeasureDialogTemplate(HINSTANCE module, UINT templateId, SIZE* size);
