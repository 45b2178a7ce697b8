// The remembered passwords: "squser.db" in the password store folder, one table
// user(id, username, password). The file and its folder are readable by the user alone.
// A file that cannot be opened or is no usable store is moved aside under a timestamped
// name and a fresh store created. Used on the main thread only.
#pragma once

#include <string>

struct sqlite3;

class SqUserDB {
 public:
  // The store, opened (and its table created) on first use.
  static SqUserDB& Get();
  // Closes the store; the next Get opens the file again.
  static void Release();

  // The password stored for the name (compared byte for byte); empty when there is none
  // or the store is not open.
  std::string FindPassword(const std::string& name);
  // Remembers the password for the name: adds a row, or replaces the stored password
  // when it differs (the password that last worked is the one to pre-fill).
  void Save(const std::string& name, const std::string& password);
  // Deletes every row of the name.
  void Remove(const std::string& name);

  bool IsOpen() const { return m_opened; }

  SqUserDB(const SqUserDB&) = delete;
  SqUserDB& operator=(const SqUserDB&) = delete;
  ~SqUserDB();

 private:
  SqUserDB();
  // Opens the file and creates the table; false (and nothing open) when it is no usable store.
  bool OpenStore(const std::string& path);

  sqlite3* m_db = nullptr;
  bool m_opened = false;
};
