// Local video files for the browser. Web processes run in a sandbox that cannot see the
// user's folders, and the engine plays a local video from inside that process; so a file
// to play is first hard-linked into one folder the sandbox may read. The link costs no
// space and no copy; a file on another file system cannot be linked.
#pragma once

#include <string>

// $XDG_CACHE_HOME/tavo/local-media/ (created): readable by web processes.
std::string WebReadableMediaFolder();
// The path under which web processes can read `path`: a link in that folder (the links
// made before are removed). Empty, with a log line, when the file cannot be linked.
std::string ShareMediaWithWebProcess(const std::string& path);
// Removes every link of that folder.
void ClearSharedMedia();
