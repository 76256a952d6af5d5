// The system's errors in its own words, in the code page standard error shows them in.

#include <windows.h>

#include <string>

#include "platform/failure.h"
#include "platform/windows_internal.h"

int lastSystemError() {
  return static_cast<int>(GetLastError());
}

UINT codePageForErrors() {
  // A console shows bytes in its output code page; a file or a pipe is read in the ANSI one.
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) ? GetConsoleOutputCP() : GetACP();
}

std::string textForErrors(const std::wstring& wide) {
  const UINT codePage = codePageForErrors();
  const int wideSize = static_cast<int>(wide.size());
  const int size =
      WideCharToMultiByte(codePage, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), wideSize, text.data(), size, nullptr, nullptr);
  return text;
}

std::string failureReason(const Failure& failure) {
  if (failure.refusal != nullptr) {
    return failure.refusal + failure.named;
  }
  wchar_t* words = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(failure.systemError), 0, reinterpret_cast<wchar_t*>(&words), 0,
      nullptr);
  std::wstring wide(words != nullptr ? words : L"", length);
  LocalFree(words);
  // A message ends with a line end, which the line it stands in already has.
  wide.erase(wide.find_last_not_of(L" \r\n") + 1);
  if (wide.empty()) {
    return "error " + std::to_string(static_cast<DWORD>(failure.systemError));
  }
  return textForErrors(wide);
}
