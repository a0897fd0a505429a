// The drawing resources that every live editor shares: the skin and the three fonts, made by the
// first user and deleted by the last.
#include <initializer_list>

#include "editor/EditorGdi.h"

namespace tempotally {

SharedGdi sharedGdi;
int32_t editorInstanceCount = 0;

namespace {

// Registers the typeface embedded in the module for this process only. Once per module load: the
// registration outlives every instance, like the one of the file.
void RegisterEmbeddedFont(HINSTANCE module) {
  static HANDLE registered = nullptr;
  if (registered) return;
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(EmbeddedFontResource), RT_RCDATA);
  HGLOBAL data = info ? LoadResource(module, info) : nullptr;
  void* bytes = data ? LockResource(data) : nullptr;
  const DWORD size = info ? SizeofResource(module, info) : 0;
  DWORD fonts = 0;
  if (bytes && size) registered = AddFontMemResourceEx(bytes, size, nullptr, &fonts);
}

}  // namespace

HFONT CreateEditorFont(int height) {
  return CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                     VARIABLE_PITCH | FF_DONTCARE, EditorFontFace);
}

SharedGdiUser::SharedGdiUser(HINSTANCE moduleInstance) {
  if (editorInstanceCount++ > 0) return;
  // Without the host's copy of the file the editor still shows its own face, not a substitute.
  if (AddFontResourceExA(EditorFontPath, FR_PRIVATE, nullptr) == 0) {
    RegisterEmbeddedFont(moduleInstance);
  }
  sharedGdi.titleFont = CreateEditorFont(TitleFontHeight);
  sharedGdi.readoutFont = CreateEditorFont(ReadoutFontHeight);
  sharedGdi.labelFont = CreateEditorFont(LabelFontHeight);
  sharedGdi.skinBitmap = LoadBitmapA(moduleInstance, MAKEINTRESOURCEA(SkinBitmapResource));
}

SharedGdiUser::~SharedGdiUser() {
  if (--editorInstanceCount > 0) return;
  for (HGDIOBJ object :
       {static_cast<HGDIOBJ>(sharedGdi.skinBitmap), static_cast<HGDIOBJ>(sharedGdi.titleFont),
        static_cast<HGDIOBJ>(sharedGdi.readoutFont), static_cast<HGDIOBJ>(sharedGdi.labelFont)}) {
    if (object) DeleteObject(object);
  }
  sharedGdi = SharedGdi{};
}

}  // namespace tempotally
