// Paths and working folders as a host sees them: module paths given by the build, and a fresh
// folder that serves as the host's working directory, which decides where a plug-in looks for
// the video player. Paths are UTF-8, so a folder may be named in any script; the file calls
// behind them are the wide ones.
#pragma once

#include <string>

namespace tempotally::testhost {

// UTF-8 to UTF-16 and back, for the wide file calls.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// `path` for the wide file calls: past the length they take in plain form, a full drive path
// in the "\\?\" form, which they take at any length.
std::wstring FilePath(const std::string& path);

// The current directory; empty when it can't be read.
std::string CurrentDirectory();

// A Unix path from the build (under Wine, drive Z: is the root) as a Windows path; a Windows path
// comes back unchanged apart from its separators.
std::string WindowsPath(const std::string& path);

// Creates `name` afresh under the current directory (removing what was there) and makes it the
// current directory; the previous one comes back when this goes.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& name);
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  bool Ready() const { return ready_; }
  // Full path of the folder, without a trailing separator.
  const std::string& Path() const { return path_; }

 private:
  std::string previous_;
  std::string path_;
  bool ready_ = false;
};

// Removes a folder and everything in it; true when it is gone afterwards.
bool RemoveTree(const std::string& path);

}  // namespace tempotally::testhost
