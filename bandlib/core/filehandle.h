// Owning handle for a C stream: closes the file when it goes out of scope.
#pragma once

#include <cstdio>
#include <memory>

struct FileCloser {
  void operator()(FILE *file) const {
    if (file != nullptr) fclose(file);
  }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;
