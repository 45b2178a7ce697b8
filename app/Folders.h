// Where the program and each account keep their files. Folder paths end with "/"
// unless said otherwise; the *Folder operations create what is missing.
#pragma once

#include <string>

// Full path of the running executable; empty on failure.
std::wstring GetExePath();
// Folder of the executable, ending with "/"; htmllocal/ lives there.
std::wstring GetExeFolder();
// $XDG_DATA_HOME (default ~/.local/share), no trailing "/".
std::wstring GetDataRoot();
// $XDG_STATE_HOME/tavo/log/ (default ~/.local/state/tavo/log/), created.
std::wstring GetLogFolder();
// $XDG_STATE_HOME/tavo/ (default ~/.local/state/tavo/), created: crash.dmp goes here.
std::wstring GetStateFolder();
// $XDG_CONFIG_HOME/tavo/ (default ~/.config/tavo/), created: the settings store lives here.
std::wstring GetConfigFolder();
// $XDG_CACHE_HOME/tavo/ (default ~/.cache/tavo/), created.
std::wstring GetCacheFolder();
// <data root>/tavo/, created.
std::wstring GetProgramDataFolder();
// <data root>/tavo/<account>, no trailing "/", created.
std::wstring GetUserFolder(const std::wstring& account);
// Folders of the signed-in account (see SetSignedInAccount), created.
std::wstring GetDownloadFolder();
std::wstring GetHeaderFolder(const std::wstring& account = {});
std::wstring GetDbFolder();
// <data root>/tavo/SqUserDB/, created.
std::wstring GetPasswordStoreFolder();

// Creates a folder and its missing parents (mode 0700); false when it cannot exist.
bool EnsureFolder(const std::wstring& path);

// The signed-in account name (narrow, locale text), set by the login window.
void SetSignedInAccount(const std::string& account);
std::string GetSignedInAccount();
