// The editor's drawing surfaces, kept from one paint to the next: the background (the skin with the
// labels and the about block, which never change) and the back buffer that each paint brings up to
// date from it and copies to the window. Window thread only.
#pragma once

#include <windows.h>

#include "editor/GdiHandles.h"
#include "editor/PaintModel.h"
#include "editor/PaintPixels.h"

namespace tempotally {

class EditorCanvas {
 public:
  // Brings the back buffer to `model` and copies its `width` x `height` pixels to (0, 0) of
  // `target`. Both surfaces are made again when the size changes; nothing is drawn when they
  // cannot be made.
  void Paint(HDC target, int width, int height, const PaintModel& model);

  // The back buffer as the last paint left it, for the tests.
  const PixelView& BackBuffer() const { return back_.View(); }

 private:
  // Makes the surfaces for this size, and the background on them; false when GDI cannot.
  bool Fit(HDC target, int width, int height);
  void DrawReadout(const PaintModel& model);

  DibSurface background_;
  DibSurface back_;
  DibSurface ledSprites_;  // the off cell, then the on cell
  HBITMAP skinDrawn_ = nullptr;
  bool readoutCurrent_ = false;  // the back buffer shows shownReadout_ in shownTint_
  char shownReadout_[ReadoutChars] = {};
  bool shownTint_ = false;
  PixelRect graphWritten_;  // the last paint's bars and marker
};

}  // namespace tempotally
