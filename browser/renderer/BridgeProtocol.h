// The user messages between the UI process and the web process, and their parameter
// types: the one place both ends read them from.
#pragma once

// Web process -> UI process: a page called app.call (function name, parameter text).
inline constexpr char kCallCppFunc[] = "CallCppFunc";
inline constexpr char kCallCppFuncType[] = "(ss)";

// UI process -> web process: the host window's answer (function name, code, text).
inline constexpr char kJsCallBack[] = "JsCallBack";
inline constexpr char kJsCallBackType[] = "(sis)";

// UI process -> every web process: the origins whose pages get the bridge (a list of
// "scheme://host[:port]"); also the extension's initialisation data.
inline constexpr char kTrustedOrigins[] = "TrustedOrigins";
inline constexpr char kTrustedOriginsType[] = "as";
