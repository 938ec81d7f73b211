#pragma once
// The log, with the calls that write and flush it as parameters: a test makes them fail part-way,
// as a disk that fills does, and sees what the log is given back.

#include <windows.h>

#include <memory>
#include <string>

#include "platform/platform.h"

namespace zelvane {

struct LogCalls {
  BOOL(WINAPI* write)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = WriteFile;
  BOOL(WINAPI* flush)(HANDLE) = FlushFileBuffers;
};
std::unique_ptr<AppendFile> OpenLogFile(const std::string& path, LogCalls calls = {});

}  // namespace zelvane
