// Window message numbers, show commands, styles and hit-test codes of the toolkit's windows
// (the values of the Win32 names windows are written with).
#pragma once

#include "platform/Messages.h"
#include "platform/Types.h"

constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_NCHITTEST = 0x0084;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;

constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_RESTORE = 0xF120;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;

constexpr UINT WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr UINT WS_POPUP = 0x80000000;
constexpr UINT WS_CHILD = 0x40000000;
constexpr UINT WS_VISIBLE = 0x10000000;
constexpr UINT UI_WNDSTYLE_FRAME = WS_VISIBLE | WS_OVERLAPPEDWINDOW;
constexpr UINT UI_WNDSTYLE_DIALOG = WS_POPUP;
constexpr UINT WS_EX_TOOLWINDOW = 0x00000080;
constexpr UINT WS_EX_TOPMOST = 0x00000008;

constexpr LRESULT HTCLIENT = 1;
constexpr LRESULT HTCAPTION = 2;
constexpr LRESULT HTLEFT = 10;
constexpr LRESULT HTRIGHT = 11;
constexpr LRESULT HTTOP = 12;
constexpr LRESULT HTTOPLEFT = 13;
constexpr LRESULT HTTOPRIGHT = 14;
constexpr LRESULT HTBOTTOM = 15;
constexpr LRESULT HTBOTTOMLEFT = 16;
constexpr LRESULT HTBOTTOMRIGHT = 17;

constexpr UINT IDOK = 1;
constexpr UINT IDCANCEL = 2;
constexpr UINT IDCLOSE = 8;

// Delivers the paint manager's queued notifications (posted to the window itself).
constexpr UINT WM_UI_ASYNC_NOTIFY = WM_NULL;

// Modifier bits for RegisterHotKey.
constexpr UINT MOD_ALT = 0x1;
constexpr UINT MOD_CONTROL = 0x2;
constexpr UINT MOD_SHIFT = 0x4;
