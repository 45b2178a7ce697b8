// The test's own view of the keyring, through libsecret directly (not through the
// program's wrapper): the items carrying "application" = "tavo", under the schema name the
// program stores them with (matched by attributes alone).
#pragma once

#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace keyringtest {

inline const SecretSchema* AnyTavoItem() {
  static const SecretSchema schema = {"tavo.Password",
                                      SECRET_SCHEMA_DONT_MATCH_NAME,
                                      {{"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                      0,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr};
  return &schema;
}

// Every item of the program as "account=password", sorted.
inline std::vector<std::string> Items() {
  std::vector<std::string> items;
  GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(attributes, const_cast<char*>("application"), const_cast<char*>("tavo"));
  GError* error = nullptr;
  GList* found = secret_service_search_sync(
      nullptr, AnyTavoItem(), attributes,
      static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr,
      &error);
  g_hash_table_unref(attributes);
  if (error != nullptr) {
    items.push_back(std::string("<search failed: ") + error->message + ">");
    g_error_free(error);
    return items;
  }
  for (GList* l = found; l != nullptr; l = l->next) {
    auto* item = static_cast<SecretItem*>(l->data);
    GHashTable* attrs = secret_item_get_attributes(item);
    const char* account = static_cast<const char*>(g_hash_table_lookup(attrs, "account"));
    SecretValue* value = secret_item_get_secret(item);
    items.push_back(std::string(account ? account : "<no account>") + "=" +
                    (value ? secret_value_get_text(value) : "<no secret>"));
    if (value) secret_value_unref(value);
    g_hash_table_unref(attrs);
  }
  g_list_free_full(found, g_object_unref);
  std::sort(items.begin(), items.end());
  return items;
}

// Stores an item as an earlier run of the program would have.
inline bool Seed(const std::string& account, const std::string& password) {
  return secret_password_store_sync(AnyTavoItem(), SECRET_COLLECTION_DEFAULT, "seeded", password.c_str(), nullptr,
                                    nullptr, "application", "tavo", "account", account.c_str(), nullptr);
}

// Deletes every item of the program (tests in one process share the keyring).
inline void Clear() {
  secret_password_clear_sync(AnyTavoItem(), nullptr, nullptr, "application", "tavo", nullptr);
}

inline bool FileHolds(const std::filesystem::path& file, const std::string& bytes) {
  std::ifstream in(file, std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return all.find(bytes) != std::string::npos;
}

// A password store as an older version left it: the design's table, with the passwords
// in clear text.
inline void WriteOlderStore(const std::filesystem::path& file,
                            const std::vector<std::pair<std::string, std::string>>& rows) {
  std::filesystem::create_directories(file.parent_path());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  std::string sql = "create table user(id INTEGER PRIMARY KEY AUTOINCREMENT,username text,password text);";
  auto quoted = [](std::string text) {
    for (size_t at = text.find('\''); at != std::string::npos; at = text.find('\'', at + 2)) text.insert(at, "'");
    return "'" + text + "'";
  };
  int id = 0;
  for (const auto& [name, password] : rows)
    sql += "INSERT INTO user VALUES(" + std::to_string(++id) + "," + quoted(name) + "," + quoted(password) + ");";
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

}  // namespace keyringtest
