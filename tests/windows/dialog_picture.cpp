// Shows the address dialog filled in with an example, for the picture in
// docs/windows.md (docs/make-dialog-picture.sh takes it from the X display).
//
//   dialog_picture.exe MODULE SIGNAL_FILE
//
// Prints "dialog X Y WIDTH HEIGHT" (its place on the screen) once the
// dialog is filled in, then keeps it open until SIGNAL_FILE exists (at most
// a minute) and cancels it.

#include <cstdio>
#include <cstring>

#include "host_interface/host_records.h"
#include "platform/win32.h"
#include "tests/windows/driver_session.h"

namespace {

const char* g_signalFile = nullptr;

DWORD WINAPI FillIn(LPVOID) {
  HWND dialog = nullptr;
  for (int i = 0; i < 1000 && dialog == nullptr; ++i) {
    HWND found = FindWindowA("#32770", "Tag Format");
    if (found != nullptr && IsWindowVisible(found)) dialog = found;
    Sleep(10);
  }
  if (dialog == nullptr) {
    std::printf("no dialog\n");
    std::fflush(stdout);
    return 1;
  }
  SendMessageA(GetDlgItem(dialog, 1006), CB_SELECTSTRING, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>("4"));
  SetWindowTextA(GetDlgItem(dialog, 1007), "0010");
  SendMessageA(GetDlgItem(dialog, 1022), LB_SETTOPINDEX, 4, 0);  // bit 3
  Sleep(500);                                                    // let the display catch up
  RECT rect;
  GetWindowRect(dialog, &rect);
  std::printf("dialog %ld %ld %ld %ld\n", static_cast<long>(rect.left), static_cast<long>(rect.top),
              static_cast<long>(rect.right - rect.left), static_cast<long>(rect.bottom - rect.top));
  std::fflush(stdout);
  for (int i = 0; i < 600 && GetFileAttributesA(g_signalFile) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: dialog_picture MODULE SIGNAL_FILE\n");
    return 2;
  }
  g_signalFile = argv[2];
  WriteTextFile("KOVRIN01.INT", "BUS = M , D\n");
  const char* modulePath = argv[1];
  DriverSession instance(modulePath, 1);
  if (!OpenedModule(instance)) return 1;
  HANDLE thread = CreateThread(nullptr, 0, FillIn, nullptr, 0, nullptr);
  char buffer[16] = {};
  BrowseRequest request{};
  request.gasBuffer = buffer;
  const int32_t result = instance.Call(kCmdBrowseAddress, &request);
  WaitForSingleObject(thread, 5000);
  CloseHandle(thread);
  return result == kResultCancelled ? 0 : 1;
}
