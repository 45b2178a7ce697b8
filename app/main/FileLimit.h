// The open-file limit of the process.
#pragma once

// Raises the soft limit of open files to the hard limit, so that many downloads, pages and
// local connections at once do not run out of descriptors at the usual desktop default of
// 1,024. Logs and keeps the old limit when it cannot be raised. Returns the soft limit now.
unsigned long RaiseOpenFileLimit();
