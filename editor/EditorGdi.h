// The editor's drawing: its resources in the module, the fonts it makes, the texts and colours it
// shows, and the paint routine that composes them.
#pragma once

#include <windows.h>

#include "TempotallyVersion.h"

namespace tempotally {

class ORVAVSTExprPlug;

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

// Composes the whole client area of `window` over the skin and copies it in one transfer. Only
// for a shown editor and while the skin exists.
// `frameTimer`: asked by the editor's frame timer rather than by WM_PAINT; draws through the
// window's own context and leaves any update region to its WM_PAINT.
void PaintEditor(ORVAVSTExprPlug* plug, HWND window, bool frameTimer = false);

}  // namespace tempotally
