// The session token left by a successful sign-in and read by every token request.
// (The signed-in account name lives with the folders: SetSignedInAccount.)
// Callable from any thread.
#pragma once

#include <string>

std::string GetSessionToken();
void SetSessionToken(const std::string& token);
// Empties the token; the main window does this when it closes.
void ClearSessionToken();
