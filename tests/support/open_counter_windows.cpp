// Counts how often one file is opened on Windows, by whatever path it is
// named. There is no preloading there: the counter takes the place of
// CreateFileW in the import tables of the program and of the plug-in
// module, which is where both open packages. Two ways in: linked into a
// test program, which calls lvs_count_opens_of after loading the module;
// or, built as a module of its own (LVS_OPEN_COUNTER_MODULE), given to lvs
// as its plug-in: its entry loads the real module and forwards to it, after
// which the file named by LVS_COUNT_OPENS_OF is counted and the count
// written to LVS_OPEN_COUNT_FILE as it grows. Only successful opens are
// counted, each compared by volume and file index.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "open_counter.h"

namespace {

using CreateFileWFunction = HANDLE(WINAPI*)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);

// The system's own, whatever the import tables now hold.
const CreateFileWFunction gReal = reinterpret_cast<CreateFileWFunction>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreateFileW")));

std::atomic<bool> gArmed{false};
DWORD gVolume = 0, gIndexHigh = 0, gIndexLow = 0;
std::atomic<int> gCounted{0};
std::wstring gCountFile;

bool Identify(HANDLE file, DWORD* volume, DWORD* high, DWORD* low) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information)) return false;
  *volume = information.dwVolumeSerialNumber;
  *high = information.nFileIndexHigh;
  *low = information.nFileIndexLow;
  return true;
}

void WriteCount(int count) {
  if (gCountFile.empty()) return;
  const HANDLE out =
      gReal(gCountFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  const std::string text = std::to_string(count);
  DWORD written = 0;
  WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(out);
}

HANDLE WINAPI CountingCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE pattern) {
  const HANDLE file = gReal(path, access, share, security, disposition, flags, pattern);
  DWORD volume = 0, high = 0, low = 0;
  if (file != INVALID_HANDLE_VALUE && gArmed && Identify(file, &volume, &high, &low) && volume == gVolume &&
      high == gIndexHigh && low == gIndexLow)
    WriteCount(++gCounted);
  return file;
}

// Points the module's import of CreateFileW at the counter.
void Divert(HMODULE module) {
  if (!module) return;
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
    if (_stricmp(reinterpret_cast<const char*>(base + d->Name), "kernel32.dll") != 0 || !d->OriginalFirstThunk)
      continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "CreateFileW") != 0) continue;
      DWORD was = 0;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &was)) continue;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(&CountingCreateFileW);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, was, &was);
    }
  }
}

// The program and the plug-in module, once it is loaded.
void DivertProgramAndModule() {
  Divert(GetModuleHandleW(nullptr));
  Divert(GetModuleHandleW(std::filesystem::u8path(LVS_PLUGIN_PATH).filename().wstring().c_str()));
}

}  // namespace

extern "C" void lvs_count_opens_of(const char* path) {
  gArmed = false;
  gCounted = 0;
  if (!path) return;
  DivertProgramAndModule();
  const HANDLE file =
      gReal(std::filesystem::u8path(path).wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  gArmed = Identify(file, &gVolume, &gIndexHigh, &gIndexLow);
  CloseHandle(file);
}

extern "C" int lvs_opens_counted(void) { return gCounted; }

#ifdef LVS_OPEN_COUNTER_MODULE
#include "real_module.h"

LVS_EXPORT A_Err EntryPointFunc(struct SPBasicSuite* pica_basicP, A_long major_versionL, A_long minor_versionL,
                                AEGP_PluginID aegp_plugin_id, AEGP_GlobalRefcon* global_refconP) {
  const AEGP_PluginInitFunc entry = lvs_test::RealEntry();
  if (!entry) return A_Err_GENERIC;
  if (const wchar_t* file = _wgetenv(L"LVS_OPEN_COUNT_FILE")) gCountFile = file;
  if (const char* counted = std::getenv("LVS_COUNT_OPENS_OF")) lvs_count_opens_of(counted);
  WriteCount(0);
  return entry(pica_basicP, major_versionL, minor_versionL, aegp_plugin_id, global_refconP);
}
#endif
