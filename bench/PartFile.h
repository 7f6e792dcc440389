#pragma once

#include <cstdio>
#include <string>

namespace brindlewick::bench {

// An output file written under a temporary name beside it and renamed into place by commit(), so
// that a stopped run leaves no half file where a whole one is expected.
class PartFile {
 public:
  explicit PartFile(const std::string& path)
      : path_(path), file_(std::fopen((path + ".part").c_str(), "wb")) {}
  ~PartFile() {
    if (file_) std::fclose(file_);
  }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  FILE* get() const { return file_; }
  bool commit() {
    const bool written = std::fclose(file_) == 0;
    file_ = nullptr;
    return written && std::rename((path_ + ".part").c_str(), path_.c_str()) == 0;
  }

 private:
  std::string path_;
  FILE* file_;
};

}  // namespace brindlewick::bench
