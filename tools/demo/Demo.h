// The demo's pieces shared by its song run and its interactive host.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "devhost/RawPlug.h"
#include "devhost/WorkingFolder.h"

namespace tempotally::demo {

// A project as a host would hand it back: the video window shown at a chosen place, an empty map.
std::vector<uint8_t> ProjectStateWithVideoShown();
// Puts the stand-in video player where the plug-in looks first, under `folder`; says so when it
// cannot.
bool LayOutPlayer(const testhost::WorkingFolder& folder, const std::string& playerPath);
std::string FullPath(const std::string& path);

// A host window a person can use: the editor in it, the video window beside it, a transport on
// the keyboard. Returns when the window is closed.
int RunInteractive(const testhost::PluginModule& module, const std::string& playerPath);

}  // namespace tempotally::demo
