// The module's resources as stored in the built file: the editor's dialog template and the version
// record that the host and the system show.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "TempotallyVersion.h"
#include "support/PluginUnderTest.h"

namespace {

const char* const DllPath = tempotally::testsupport::PluginUnderTest(TEMPOTALLY_BUILT_DLL);
constexpr DWORD VersionMS = (TEMPOTALLY_VERSION_MAJOR << 16) | TEMPOTALLY_VERSION_MINOR;

class ModuleResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryExA(DllPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << DllPath;
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }
  HMODULE module = nullptr;
};

// Reads a NUL-terminated UTF-16 string and moves past it.
std::wstring TakeString(const uint8_t*& p) {
  std::wstring s;
  for (;;) {
    wchar_t c;
    std::memcpy(&c, p, 2);
    p += 2;
    if (!c) return s;
    s += c;
  }
}

template <typename T>
T Take(const uint8_t*& p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  p += sizeof value;
  return value;
}

TEST_F(ModuleResources, DialogTemplate100IsAHiddenControlLessPanel) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(5));  // RT_DIALOG
  ASSERT_NE(found, nullptr);
  const auto* p = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Take<uint16_t>(p), 1);        // dlgVer
  EXPECT_EQ(Take<uint16_t>(p), 0xFFFF);   // signature: DIALOGEX
  EXPECT_EQ(Take<uint32_t>(p), 0u);       // help id
  EXPECT_EQ(Take<uint32_t>(p), 0u);       // extended style
  EXPECT_EQ(Take<uint32_t>(p), 0xC0000040u);  // WS_POPUP | WS_CHILD | DS_SETFONT, not visible
  EXPECT_EQ(Take<uint16_t>(p), 0);        // no controls
  EXPECT_EQ(Take<int16_t>(p), 0);
  EXPECT_EQ(Take<int16_t>(p), 0);
  EXPECT_EQ(Take<int16_t>(p), 160);
  EXPECT_EQ(Take<int16_t>(p), 124);
  EXPECT_EQ(Take<uint16_t>(p), 0);        // no menu
  EXPECT_EQ(Take<uint16_t>(p), 0);        // no window class
  EXPECT_EQ(TakeString(p), L"");          // empty title
  EXPECT_EQ(Take<uint16_t>(p), 8);        // points
  EXPECT_EQ(Take<uint16_t>(p), 400);      // weight
  EXPECT_EQ(Take<uint8_t>(p), 0);         // not italic
  EXPECT_EQ(Take<uint8_t>(p), 0);         // character set
  EXPECT_EQ(TakeString(p), L"Calibri");
}

// At the project's version, which the build takes from one place.
TEST_F(ModuleResources, VersionRecordNamesTheModuleAtTheProjectVersion) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(DllPath, &ignored);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(DllPath, 0, size, data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, VersionMS);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, VersionMS);
  const char* keys[][2] = {{"ProductName", "ORVA Tempotally"},
                           {"FileDescription", "ORVA Tempotally"},
                           {"OriginalFilename", "ORVA Tempotally.dll"},
                           {"FileVersion", TEMPOTALLY_VERSION},
                           {"ProductVersion", TEMPOTALLY_VERSION}};
  for (const auto& key : keys) {
    char* value = nullptr;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + key[0];
    ASSERT_TRUE(VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
        << key[0];
    EXPECT_STREQ(value, key[1]);
  }
}

}  // namespace
