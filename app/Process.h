// Starting another program and waiting for it.
#pragma once

#include <string>

// Runs `program` (looked up in PATH) with `argument` as its one argument and waits without
// limit for it to end. Blocks the calling thread: call it from a thread of its own.
// False when the program could not be started.
bool StartProcess(const std::wstring& program, const std::wstring& argument);
