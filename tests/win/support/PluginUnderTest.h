// The plug-in module that the black-box tests load: the build's own, or the file named by the
// environment variable TEMPOTALLY_DLL, which the release run points at the DLL out of the archive.
#pragma once

#include <cstdlib>

namespace tempotally::testsupport {

inline const char* PluginUnderTest(const char* built) {
  const char* shipped = std::getenv("TEMPOTALLY_DLL");
  return shipped != nullptr && shipped[0] != '\0' ? shipped : built;
}

}  // namespace tempotally::testsupport
