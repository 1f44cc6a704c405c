// A fresh temporary directory that the test runs in; removed afterwards.
#pragma once

#include <filesystem>
#include <string>

class TempDir {
 public:
  TempDir();  // creates the directory and makes it the current one
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes a file (relative to the directory) with exactly these bytes.
  void Write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};
