// wend-unzip ARCHIVE FOLDER: extracts the archive into the folder with UnzipHandler, each entry
// with its own mode. Exit status 0 on success, 1 on failure, 2 on wrong use.
#include <cstdio>

#include "foundation/files/UnzipHandler.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wend-unzip ARCHIVE FOLDER\n");
    return 2;
  }
  UnzipHandler handler;
  return handler.extract(argv[1], argv[2], false, UnzipHandler::kEntryMode) ? 0 : 1;
}
