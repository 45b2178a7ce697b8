// Grouping and exporting notes.
#include "study/NoteGroups.h"

#include <ctime>
#include <string_view>

std::vector<NoteClassGroup> GroupNotes(const std::vector<Note>& newestFirst) {
  std::vector<NoteClassGroup> groups;
  for (const Note& note : newestFirst) {
    NoteClassGroup* group = nullptr;
    for (NoteClassGroup& g : groups)
      if (g.classId == note.classId) group = &g;
    if (!group) group = &groups.emplace_back(NoteClassGroup{note.classId, {}});
    NoteItemGroup* item = nullptr;
    for (NoteItemGroup& i : group->items)
      if (i.kind == note.kind && i.itemId == note.itemId) item = &i;
    if (!item) item = &group->items.emplace_back(NoteItemGroup{note.kind, note.itemId, note.title, {}});
    item->notes.push_back(note);
  }
  return groups;
}

std::string UnknownClassName(const std::string& classId) { return "已不在课程列表中的班级 " + classId; }

std::string NotePlace(const Note& note) {
  if (note.kind == NoteKind::Document) return "第 " + std::to_string(note.position < 1 ? 1 : note.position) + " 页";
  return FormatMoment(note.position);
}

std::string NoteTime(int64_t createdAt) {
  const std::time_t when = static_cast<std::time_t>(createdAt);
  std::tm local{};
  if (!localtime_r(&when, &local)) return {};
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

namespace {

// Text that stays plain text on one line of Markdown.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      out += ' ';
      continue;
    }
    if (std::string_view("\\`*_{}[]()<>#+-.!|~").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

std::string NotesMarkdown(const std::vector<NoteClassGroup>& groups, const ClassNamer& className) {
  std::string md = "# 我的笔记\n";
  for (const NoteClassGroup& group : groups) {
    std::string name = className ? className(group.classId) : std::string();
    if (name.empty()) name = UnknownClassName(group.classId);
    md += "\n## " + Escaped(name) + "\n";
    for (const NoteItemGroup& item : group.items) {
      md += "\n### " + std::string(item.kind == NoteKind::Document ? "讲义：" : "视频：") + Escaped(item.title) + "\n\n";
      for (const Note& note : item.notes) {
        md += "- [" + NotePlace(note) + "] ";
        md += note.text.empty() ? "（书签）" : Escaped(note.text);
        md += " — " + NoteTime(note.createdAt) + "\n";
      }
    }
  }
  return md;
}
