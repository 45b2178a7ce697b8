// Earlier versions of the program let the sandboxed web processes read a local video through
// a hard link in "$XDG_CACHE_HOME/tavo/local-media/". Such links keep a deleted download's
// bytes on the disk, so those a run left behind are removed (videos now reach the page through
// the local web server).
#pragma once

// Removes the links of that folder and the folder, when it exists.
void RemoveLeftoverMediaLinks();
