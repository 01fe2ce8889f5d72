// Windows tests of the built DLL: its path as Wine shows it, and regsvr32 run on it the way an
// installer does. The build names the DLL's Linux path in VOK_DLL_PATH.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "platform/text.h"

namespace vok::test {

// Wine shows the Linux root as drive Z:.
inline std::wstring DllPath() {
  std::wstring path = L"Z:" + vok::WideFromNarrow(VOK_DLL_PATH);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// Runs regsvr32 in silent mode with `arguments` (the DLL's path by default); its exit code.
inline DWORD RunRegsvr32(const std::wstring& arguments = L"\"" + DllPath() + L"\"") {
  std::wstring command = L"regsvr32.exe /s " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return 0xFFFFFFFF;
  }
  using CHandleOwner = std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&::CloseHandle)>;
  const CHandleOwner thread(process.hThread, &::CloseHandle);
  const CHandleOwner child(process.hProcess, &::CloseHandle);
  ::WaitForSingleObject(child.get(), 60000);
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(child.get(), &code);
  return code;
}

}  // namespace vok::test
