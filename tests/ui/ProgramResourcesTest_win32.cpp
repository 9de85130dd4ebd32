// What Windows reads from the two programs' files before any of their code
// runs: the version resource, and the manifest through the same activation
// context the loader builds. A manifest the loader cannot parse stops a
// program at its start; a setting in a wrong namespace is silently ignored.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "VeltrawVersion.h"

namespace {

struct Program {
  const char* pathVariable;  // set by CTest
  const char* fileName;
};

const Program kPrograms[] = {{"VELTRAW_EXE", "Veltraw.exe"},
                             {"VELTRAW_QUERY", "veltraw-query.exe"}};

std::string programPath(const Program& program) {
  const char* path = std::getenv(program.pathVariable);
  return path ? path : "";
}

std::string versionText(const std::vector<char>& info, const char* name) {
  const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
  void* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), query.c_str(), &text, &length) || !text) return "";
  return static_cast<const char*>(text);
}

// namespace: nullptr for the settings of 2005 (dpiAware).
std::wstring manifestSetting(HANDLE context, const wchar_t* nameSpace, const wchar_t* name) {
  wchar_t value[128] = {};
  SIZE_T written = 0;
  if (!QueryActCtxSettingsW(0, context, nameSpace, name, value, 128, &written)) return L"";
  return value;
}

// The file the common controls are loaded from inside the context.
std::string commonControlsFile(HANDLE context) {
  ULONG_PTR cookie = 0;
  if (!ActivateActCtx(context, &cookie)) return "";
  char path[MAX_PATH] = {};
  if (HMODULE controls = LoadLibraryA("comctl32.dll")) {
    GetModuleFileNameA(controls, path, MAX_PATH);
    FreeLibrary(controls);
  }
  DeactivateActCtx(0, cookie);
  return path;
}

std::string systemCommonControlsFile() {
  char folder[MAX_PATH] = {};
  GetSystemDirectoryA(folder, MAX_PATH);
  return std::string(folder) + "\\comctl32.dll";
}

TEST(ProgramResources, VersionResourceCarriesTheBuildsVersion) {
  for (const Program& program : kPrograms) {
    const std::string path = programPath(program);
    ASSERT_FALSE(path.empty()) << program.pathVariable;
    DWORD unused = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &unused);
    ASSERT_NE(size, 0u) << path;
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data())) << path;
    void* fixedData = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", &fixedData, &length)) << path;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(fixedData);
    const DWORD expected = MAKELONG(VELTRAW_VERSION_MINOR, VELTRAW_VERSION_MAJOR);
    EXPECT_EQ(fixed->dwFileVersionMS, expected) << path;
    EXPECT_EQ(fixed->dwProductVersionMS, expected) << path;
    EXPECT_EQ(versionText(info, "FileVersion"), VELTRAW_VERSION_TEXT) << path;
    EXPECT_EQ(versionText(info, "ProductVersion"), VELTRAW_VERSION_TEXT) << path;
    EXPECT_EQ(versionText(info, "OriginalFilename"), program.fileName) << path;
  }
}

TEST(ProgramResources, ManifestGivesDpiAwarenessAndCommonControls6) {
  for (const Program& program : kPrograms) {
    const std::string path = programPath(program);
    ASSERT_FALSE(path.empty()) << program.pathVariable;
    ACTCTXA request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << path << ": error " << GetLastError();
    EXPECT_EQ(manifestSetting(context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                              L"dpiAwareness"),
              L"PerMonitorV2, PerMonitor")
        << path;
    EXPECT_EQ(manifestSetting(context, nullptr, L"dpiAware"), L"true/pm") << path;
    // The dependency sends the common controls to version 6, away from the
    // system folder's version 5.
    const std::string controls = commonControlsFile(context);
    EXPECT_FALSE(controls.empty()) << path;
    EXPECT_NE(lstrcmpiA(controls.c_str(), systemCommonControlsFile().c_str()), 0) << path;
    ReleaseActCtx(context);
  }
}

}  // namespace
