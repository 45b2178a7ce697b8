// The remembered accounts: "squser.db" in the password store folder, one table
// user(id, username, password). The passwords themselves are in the desktop keyring
// (PasswordKeyring.h); the password column stays empty text, so that the file keeps the
// table older versions read and write. Those versions kept the password there in clear
// text: the login form moves such a password into the keyring and blanks it here.
// The file and its folder are readable by the user alone. A file that cannot be opened
// or is no usable store is moved aside under a timestamped name and a fresh store
// created. Used on the main thread only.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

class SqUserDB {
 public:
  // The store, opened (and its table created) on first use.
  static SqUserDB& Get();
  // Closes the store; the next Get opens the file again.
  static void Release();

  // True when the name (compared byte for byte) has a row.
  bool HasAccount(const std::string& name);
  // Remembers the account name: adds a row with an empty password, or blanks the
  // password of the rows it has.
  void Save(const std::string& name);
  // Deletes every row of the name, and the folder it signs in to.
  void Remove(const std::string& name);

  // The data folder a sign-in name (the mobile number, say) signed in to last time its
  // password was remembered, when that folder is named otherwise; empty when none is kept.
  // What is read back is checked by the caller: the file may have been edited.
  std::string FolderOf(const std::string& name);
  void SetFolder(const std::string& name, const std::string& folder);
  void RemoveFolder(const std::string& name);

  struct ClearTextPassword {
    std::string name;
    std::string password;
  };
  // The rows whose password is not empty (left by an older version), in file order.
  std::vector<ClearTextPassword> FindClearTextPasswords();
  // Empties the password of every row of the name.
  void BlankPassword(const std::string& name);

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
