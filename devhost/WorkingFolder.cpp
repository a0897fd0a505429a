// Working folders for the test host, with plain Win32 file calls in wide characters.
#include "devhost/WorkingFolder.h"

#include <windows.h>

namespace tempotally::testhost {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length,
                      nullptr, nullptr);
  return utf8;
}

std::wstring FilePath(const std::string& path) {
  // A folder's full path must leave room for a file name of 8.3 characters; MAX_PATH - 12.
  constexpr size_t PlainChars = MAX_PATH - 12;
  const std::wstring wide = Wide(path);
  const bool drivePath = wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\';
  return wide.size() >= PlainChars && drivePath ? L"\\\\?\\" + wide : wide;
}

std::string CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return std::string();
  std::wstring buffer(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, &buffer[0]);
  if (length == 0 || length >= size) return std::string();
  buffer.resize(length);
  return Utf8(buffer);
}

std::string WindowsPath(const std::string& path) {
  std::string result = path;
  for (char& c : result) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '/') result = "Z:" + result;
  return result;
}

bool RemoveTree(const std::string& path) {
  const std::wstring folder = FilePath(path);
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::string child = path + "\\" + Utf8(name);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesW(FilePath(child).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(FilePath(child).c_str());
      }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
  return GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

WorkingFolder::WorkingFolder(const std::string& name) : previous_(CurrentDirectory()) {
  path_ = previous_ + "\\" + name;
  RemoveTree(path_);
  ready_ = CreateDirectoryW(FilePath(path_).c_str(), nullptr) &&
           SetCurrentDirectoryW(Wide(path_).c_str());
}

WorkingFolder::~WorkingFolder() {
  if (!previous_.empty()) SetCurrentDirectoryW(Wide(previous_).c_str());
}

}  // namespace tempotally::testhost
