// Window message numbers shared between windows, workers and the browser bridge.
#pragma once

#include "platform/Types.h"

constexpr UINT WM_NULL = 0;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HOTKEY = 0x0312;
constexpr UINT WM_USER = 1024;

constexpr UINT WM_TRAY_ICON = WM_USER + 1;    // tray icon -> main window
constexpr UINT WM_LOGIN_DONE = WM_USER + 1;   // login worker -> login frame
constexpr UINT WM_DOWNLOAD_PROGRESS = 1026;   // progress hook -> task's window
constexpr UINT WM_MENU_CLICK = 1027;          // tray menu -> main window
constexpr UINT WM_PLAYER_MINIMIZE = 1031;
constexpr UINT WM_PLAYER_MAXIMIZE = 1032;
constexpr UINT WM_PLAYER_CLOSE = 1033;
constexpr UINT WM_PLAYER_RESTORE = 1034;
constexpr UINT WM_DOWNLOAD_RESULT = 1035;     // download worker -> task's window
constexpr UINT WM_AVATAR_READY = 1036;
constexpr UINT WM_BROWSER_CREATED = 1037;     // browser control -> host window
constexpr UINT WM_LESSON_MARK_CLEAR = 1038;
constexpr UINT WM_BROWSER_LOAD_END = 1039;    // browser control -> host window
constexpr UINT WM_PLAYER_PREV_LESSON = 1043;
constexpr UINT WM_DOC_OPEN = 1044;
constexpr UINT WM_PLAYER_NEXT_LESSON = 1045;
constexpr UINT WM_PLAYER_PLAY_LESSON = 1046;
constexpr UINT WM_PLAYER_END_CHOICE = 1049;
constexpr UINT WM_LOCAL_PLAY_FILE = 1050;
constexpr UINT WM_PLAYER_MOUSE_LEFT = 1051;
constexpr UINT WM_PLAYER_MOUSE_HOVER = 1052;
constexpr UINT WM_PLAYER_RETRY = 1053;
constexpr UINT WM_PLAYER_PENDING_DURATION = 1054;
constexpr UINT WM_ACTIVATE_MAIN = 1057;       // second instance -> main window
constexpr UINT WM_PLAYER_MOVE_TO = 1059;
constexpr UINT WM_ABOUT_TOPMOST = 1061;
constexpr UINT WM_ABOUT_RAISE = 1062;
constexpr UINT WM_QUESTION_LESSON = 1063;
constexpr UINT WM_TREE_WIDTH = 1069;
constexpr UINT WM_PLAYER_PAUSE = 1070;
constexpr UINT WM_PLAYER_RESUME = 1071;
constexpr UINT WM_AVATAR_DEFAULT = 1072;
constexpr UINT WM_VIDEO_BATCH_DONE = 1074;
constexpr UINT WM_DOC_BATCH_DONE = 1075;

// Login form: answers of its sign-in and SMS requests, posted back by their threads
// (payload: the form's answer record).
constexpr UINT WM_LOGIN_ANSWER = 1090;
constexpr UINT WM_SMS_ANSWER = 1091;

// Bridge calls from page script (browser control -> host window, sent); the numbers
// of the names live in the browser module's JsFunctionTable.
constexpr UINT WM_JS_FIRST = 1524;
constexpr UINT WM_JS_LAST = 1538;
