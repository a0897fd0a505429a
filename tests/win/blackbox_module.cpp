// The built module as a host meets it: the file itself (32-bit x86 DLL, system imports only, an
// undecorated factory export), the info record, and creating and releasing instances.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "BlackboxPaths.h"
#include "devhost/RawPlug.h"
#include "devhost/TestHost.h"
#include "devhost/WorkingFolder.h"

namespace tempotally::testhost {
namespace {

constexpr int32_t ExpectedVersion = 1;
constexpr int32_t ExpectedFlags = 0x00200061;
constexpr const char* ExpectedLongName = "Velquor Tempotally";
constexpr const char* ExpectedShortName = "ORVA Tempotally";
constexpr int CreateReleaseCycles = 200;

// PE file layout.
constexpr uint16_t DosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t PeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t MachineI386 = 0x014C;
constexpr uint16_t OptionalMagicPe32 = 0x010B;
constexpr uint16_t CharacteristicDll = 0x2000;
constexpr size_t DosLfanewOffset = 0x3C;
constexpr size_t CoffHeaderSize = 20;
constexpr size_t SectionHeaderSize = 40;
constexpr size_t OptionalDataDirectoryOffset = 96;  // in a PE32 optional header
constexpr int ExportDirectory = 0;
constexpr int ImportDirectory = 1;
constexpr int DelayImportDirectory = 13;
constexpr size_t ImportDescriptorSize = 20;
constexpr size_t DelayDescriptorSize = 32;

// Reads a little-endian PE image from its file and resolves RVAs through its section table.
class PeFile {
 public:
  explicit PeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes_.size() < 0x40 || U16(0) != DosMagic) return;
    pe_ = U32(DosLfanewOffset);
    if (U32(pe_) != PeSignature) return;
    machine_ = U16(pe_ + 4);
    const uint16_t sections = U16(pe_ + 6);
    const uint16_t optionalSize = U16(pe_ + 20);
    characteristics_ = U16(pe_ + 22);
    optional_ = pe_ + 4 + CoffHeaderSize;
    optionalMagic_ = U16(optional_);
    sectionTable_ = optional_ + optionalSize;
    for (uint16_t i = 0; i < sections; ++i) {
      const size_t s = sectionTable_ + i * SectionHeaderSize;
      sectionList_.push_back({U32(s + 8), U32(s + 12), U32(s + 16), U32(s + 20)});
    }
    valid_ = true;
  }

  bool Valid() const { return valid_; }
  uint16_t Machine() const { return machine_; }
  uint16_t OptionalMagic() const { return optionalMagic_; }
  uint16_t Characteristics() const { return characteristics_; }

  uint32_t DirectoryRva(int index) const {
    return U32(optional_ + OptionalDataDirectoryOffset + 8 * static_cast<size_t>(index));
  }
  uint32_t DirectorySize(int index) const {
    return U32(optional_ + OptionalDataDirectoryOffset + 8 * static_cast<size_t>(index) + 4);
  }

  // File offset of an RVA, or 0 when no section holds it.
  size_t Offset(uint32_t rva) const {
    for (const Section& s : sectionList_) {
      const uint32_t span = std::max(s.virtualSize, s.rawSize);
      if (rva >= s.virtualAddress && rva < s.virtualAddress + span) {
        return rva - s.virtualAddress + s.rawOffset;
      }
    }
    return 0;
  }

  std::string StringAt(uint32_t rva) const {
    std::string text;
    for (size_t at = Offset(rva); at != 0 && at < bytes_.size() && bytes_[at] != '\0'; ++at) {
      text.push_back(bytes_[at]);
    }
    return text;
  }

  uint16_t U16(size_t at) const {
    if (at + 2 > bytes_.size()) return 0;
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes_[at]) |
                                 static_cast<uint8_t>(bytes_[at + 1]) << 8);
  }
  uint32_t U32(size_t at) const {
    if (at + 4 > bytes_.size()) return 0;
    return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16;
  }

  // Names of the DLLs that the import directory (or the delay-import one) names.
  std::vector<std::string> ImportedDlls(int directory, size_t descriptorSize,
                                        size_t nameField) const {
    std::vector<std::string> names;
    const uint32_t rva = DirectoryRva(directory);
    if (rva == 0) return names;
    for (size_t at = Offset(rva); at != 0; at += descriptorSize) {
      const uint32_t nameRva = U32(at + nameField);
      if (nameRva == 0) break;
      names.push_back(StringAt(nameRva));
    }
    return names;
  }

  std::vector<std::string> ExportNames() const {
    std::vector<std::string> names;
    const uint32_t rva = DirectoryRva(ExportDirectory);
    if (rva == 0) return names;
    const size_t dir = Offset(rva);
    const uint32_t count = U32(dir + 24);
    const size_t table = Offset(U32(dir + 32));
    for (uint32_t i = 0; i < count && table != 0; ++i)
      names.push_back(StringAt(U32(table + 4 * i)));
    return names;
  }

 private:
  struct Section {
    uint32_t virtualSize, virtualAddress, rawSize, rawOffset;
  };
  std::vector<char> bytes_;
  std::vector<Section> sectionList_;
  size_t pe_ = 0, optional_ = 0, sectionTable_ = 0;
  uint16_t machine_ = 0, optionalMagic_ = 0, characteristics_ = 0;
  bool valid_ = false;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsSystemDll(const std::string& name) {
  static const std::set<std::string> allowed = {"kernel32.dll", "user32.dll",   "gdi32.dll",
                                                "ole32.dll",    "oleaut32.dll", "advapi32.dll",
                                                "shell32.dll",  "comctl32.dll", "msvcrt.dll"};
  const std::string lower = Lower(name);
  return allowed.count(lower) != 0 || lower.rfind("api-ms-win-", 0) == 0;
}

TEST(ModuleFile, IsA32BitX86Dll) {
  const PeFile pe(WindowsPath(TEMPOTALLY_DLL_PATH));
  ASSERT_TRUE(pe.Valid()) << TEMPOTALLY_DLL_PATH;
  EXPECT_EQ(pe.Machine(), MachineI386);
  EXPECT_EQ(pe.OptionalMagic(), OptionalMagicPe32);
  EXPECT_NE(pe.Characteristics() & CharacteristicDll, 0);
}

TEST(ModuleFile, ImportsSystemDllsOnly) {
  const PeFile pe(WindowsPath(TEMPOTALLY_DLL_PATH));
  ASSERT_TRUE(pe.Valid());
  const auto imports = pe.ImportedDlls(ImportDirectory, ImportDescriptorSize, 12);
  EXPECT_FALSE(imports.empty());
  for (const std::string& dll : imports) EXPECT_TRUE(IsSystemDll(dll)) << dll;
  for (const std::string& dll : pe.ImportedDlls(DelayImportDirectory, DelayDescriptorSize, 4)) {
    EXPECT_TRUE(IsSystemDll(dll)) << "delay-loaded " << dll;
  }
}

TEST(ModuleFile, ExportsTheFactoryUndecorated) {
  const PeFile pe(WindowsPath(TEMPOTALLY_DLL_PATH));
  ASSERT_TRUE(pe.Valid());
  const auto names = pe.ExportNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "CreatePlugInstance"), 1);
  for (const std::string& name : names) {
    EXPECT_EQ(name.find('@'), std::string::npos) << name;
    EXPECT_NE(name.front(), '_') << name;
  }
}

// Each test runs with an empty working folder, so no video player can be found.
class Instance : public ::testing::Test {
 protected:
  Instance() : folder_("blackbox-no-player"), module_(WindowsPath(TEMPOTALLY_DLL_PATH)) {}

  void SetUp() override {
    ASSERT_TRUE(folder_.Ready());
    ASSERT_TRUE(module_.Loaded()) << "LoadLibrary error " << module_.LoadError();
    ASSERT_TRUE(module_.HasFactory());
  }

  WorkingFolder folder_;
  PluginModule module_;
  TestHost host_;
};

TEST_F(Instance, PublishesItsInfoRecordAndTag) {
  RawPlug plug = module_.Create(host_, 4242);
  ASSERT_TRUE(plug.Valid());
  EXPECT_EQ(plug.InstanceTag(), 4242);
  const InfoView info = plug.Info();
  EXPECT_EQ(info.version, ExpectedVersion);
  ASSERT_NE(info.longName, nullptr);
  ASSERT_NE(info.shortName, nullptr);
  EXPECT_STREQ(info.longName, ExpectedLongName);
  EXPECT_STREQ(info.shortName, ExpectedShortName);
  EXPECT_EQ(info.flags, ExpectedFlags);
  EXPECT_NE(info.flags & PlugFlagWantsTick, 0);

  // One record for the whole module.
  RawPlug other = module_.Create(host_, 7);
  ASSERT_TRUE(other.Valid());
  EXPECT_EQ(other.InfoRecord(), plug.InfoRecord());
  other.Release();
  plug.Release();
}

TEST_F(Instance, ConstructionSendsOneCreatedDispatch) {
  RawPlug plug = module_.Create(host_, -31);
  ASSERT_TRUE(plug.Valid());
  ASSERT_EQ(host_.CallCount(), 1u);
  const HostCall& call = host_.Calls()[0];
  EXPECT_EQ(call.slot, HostDispatchSlot);
  EXPECT_EQ(call.tag, -31);
  EXPECT_EQ(call.id, IdCreated);
  EXPECT_EQ(call.index, 0);
  EXPECT_EQ(call.value, 0u);
  plug.Release();
}

TEST_F(Instance, EditorStartsHiddenAndGoesWithTheInstance) {
  RawPlug plug = module_.Create(host_, 1);
  ASSERT_TRUE(plug.Valid());
  const HWND editor = plug.EditorWindow();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(IsWindow(editor));
  EXPECT_FALSE(IsWindowVisible(editor));
  EXPECT_EQ(GetWindowThreadProcessId(editor, nullptr), GetCurrentThreadId());
  plug.Release();
  EXPECT_FALSE(IsWindow(editor));
}

TEST_F(Instance, EditorFollowsTheHostWindowItIsGiven) {
  const HWND parent = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                      400, 400, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  RawPlug plug = module_.Create(host_, 1);
  ASSERT_TRUE(plug.Valid());
  const HWND editor = plug.EditorWindow();

  EXPECT_EQ(plug.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(parent)), 0);
  EXPECT_EQ(GetAncestor(editor, GA_PARENT), parent);
  EXPECT_TRUE(IsWindowVisible(editor));

  EXPECT_EQ(plug.Dispatch(PlugIdShowEditor, 0, 0), 0);
  EXPECT_NE(GetAncestor(editor, GA_PARENT), parent);
  EXPECT_FALSE(IsWindowVisible(editor));

  // Released while parented: the editor goes, the host's window stays.
  plug.Dispatch(PlugIdShowEditor, 0, reinterpret_cast<uintptr_t>(parent));
  plug.Release();
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_TRUE(IsWindow(parent));
  DestroyWindow(parent);
}

TEST_F(Instance, LiveInstancesKeepTheirOwnTags) {
  RawPlug a = module_.Create(host_, 100);
  RawPlug b = module_.Create(host_, 200);
  ASSERT_TRUE(a.Valid() && b.Valid());
  EXPECT_NE(a.Object(), b.Object());
  EXPECT_NE(a.EditorWindow(), b.EditorWindow());
  a.Release();
  const size_t mark = host_.CallCount();
  b.Tick();
  for (const HostCall& call : host_.CallsSince(mark)) {
    if (call.slot == HostDispatchSlot) {
      EXPECT_EQ(call.tag, 200);
    }
  }
  b.Release();
}

TEST_F(Instance, SurvivesManyCreateReleaseCycles) {
  std::vector<int32_t> tags;
  for (int i = 0; i < CreateReleaseCycles; ++i) {
    RawPlug plug = module_.Create(host_, i);
    ASSERT_TRUE(plug.Valid()) << "cycle " << i;
    ASSERT_EQ(plug.InstanceTag(), i);
    const HWND editor = plug.EditorWindow();
    ASSERT_TRUE(IsWindow(editor)) << "cycle " << i;
    // Every other instance lives through a tick and a render.
    if (i % 2 == 0) {
      plug.Tick();
      float frames[4] = {1, 1, 1, 1};
      int32_t count = 2;
      plug.Render(0, frames, &count);
    }
    plug.Release();
    ASSERT_FALSE(IsWindow(editor)) << "cycle " << i;
  }
  for (const HostCall& call : host_.DispatchesWithId(IdCreated)) tags.push_back(call.tag);
  ASSERT_EQ(tags.size(), static_cast<size_t>(CreateReleaseCycles));
  for (int i = 0; i < CreateReleaseCycles; ++i) EXPECT_EQ(tags[static_cast<size_t>(i)], i);
}

}  // namespace
}  // namespace tempotally::testhost
