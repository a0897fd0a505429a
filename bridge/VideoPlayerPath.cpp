// Chooses which of the two video-player module paths to load.
#include <cstdio>

#include "bridge/BridgePlugHost.h"

namespace tempotally {

const char* ChooseVideoPlayerPath() {
  if (std::FILE* probe = std::fopen(VideoPlayerPath1, "rb")) {
    std::fclose(probe);
    return VideoPlayerPath1;
  }
  return VideoPlayerPath2;
}

}  // namespace tempotally
