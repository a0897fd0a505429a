// Working folders for the test host, with plain Win32 file calls.
#include "devhost/WorkingFolder.h"

#include <windows.h>

namespace tempotally::testhost {

namespace {

std::string CurrentDirectory() {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

}  // namespace

std::string WindowsPath(const std::string& path) {
  std::string result = path;
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '/') result = "Z:" + result;
  return result;
}

bool RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

WorkingFolder::WorkingFolder(const std::string& name) : previous_(CurrentDirectory()) {
  path_ = previous_ + "\\" + name;
  RemoveTree(path_);
  ready_ = CreateDirectoryA(path_.c_str(), nullptr) && SetCurrentDirectoryA(path_.c_str());
}

WorkingFolder::~WorkingFolder() {
  if (!previous_.empty()) SetCurrentDirectoryA(previous_.c_str());
}

}  // namespace tempotally::testhost
