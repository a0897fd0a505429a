// The editor's drawing resources: those in the module, the fonts it makes, the texts it shows, and
// the set that every live editor shares.
#pragma once

#include <windows.h>

#include <cstdint>

#include "TempotallyVersion.h"

namespace tempotally {

// Module resources (numbers as in resources/Tempotally.rc).
constexpr int SkinBitmapResource = 101;
constexpr int EmbeddedFontResource = 102;

// The editor's typeface, registered from the host's artwork folder (relative to its current
// directory) or, when that fails, from the copy inside the module.
constexpr const char* EditorFontFace = "Cuprum";
constexpr const char* EditorFontPath = "Artwork\\Fonts\\Cuprum\\Cuprum.ttf";
constexpr int LabelFontHeight = 14;
constexpr int TitleFontHeight = 16;
constexpr int ReadoutFontHeight = 48;

// The about block's title, with the project's version.
constexpr const char* AboutTitle = "ORVA Tempotally BETA v" TEMPOTALLY_VERSION;

// A Cuprum font of the editor's parameters at this cell height in pixels.
HFONT CreateEditorFont(int height);

// Drawing resources shared by every live editor: made by the first user and deleted by the last.
struct SharedGdi {
  HBITMAP skinBitmap = nullptr;
  HFONT titleFont = nullptr;
  HFONT readoutFont = nullptr;
  HFONT labelFont = nullptr;
};
extern SharedGdi sharedGdi;

// Users of the shared set alive now: one per plug-in object.
extern int32_t editorInstanceCount;

// One user of the shared set for as long as it lives. The first registers the editor's typeface,
// makes the three fonts and loads the skin from `moduleInstance` (a failure leaves that handle
// null); the last deletes them. On the thread that makes and releases plug-in objects, one at a
// time.
class SharedGdiUser {
 public:
  explicit SharedGdiUser(HINSTANCE moduleInstance);
  ~SharedGdiUser();
  SharedGdiUser(const SharedGdiUser&) = delete;
  SharedGdiUser& operator=(const SharedGdiUser&) = delete;
};

}  // namespace tempotally
