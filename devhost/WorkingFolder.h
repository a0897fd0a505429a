// Paths and working folders as a host sees them: module paths given by the build, and a fresh
// folder that serves as the host's working directory, which decides where a plug-in looks for
// the video player.
#pragma once

#include <string>

namespace tempotally::testhost {

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
