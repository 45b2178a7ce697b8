// Where the student stands in a lesson played from its downloaded file. The position goes
// where the online player's reports go: into the unsent queue (sent by the catch-up, the
// network's return or the next sign-in; the local play itself sends nothing, it may well
// run without the school) and into the lesson's row, whose furthest point never drops.
#pragma once

#include <string>

// `seconds` is the video's current time; positions under one second, not finite or
// without a lesson or a signed-in account are not kept.
void RecordLocalPosition(const std::string& classId, const std::string& lessonId, double seconds);
