// A private temporary folder per test, with the XDG base folders pointed into it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/XdgFolders.h"

class TempHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavo-app-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_root = pattern;
    PointXdgFoldersInto(m_root);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }

  static std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  std::filesystem::path m_root;
};
