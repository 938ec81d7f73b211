// The floor of the Wine run benchmark: the file calls an upgrade run makes, and nothing else.
//   minimal_run FORMATS-FOLDER RESULT-FILE
// Lists FORMATS-FOLDER; for each ordinary *.qdx file opens it for reading (sharing it with
// readers), takes its size, reads it and closes it, then opens it again for reading and writing
// and writes three zero bytes at its end, and closes it: a profile is opened for writing only to be
// changed.
// Writes the microseconds the loop took, and the number of files, to RESULT-FILE.

#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::wstring folder = std::wstring(L"\\\\?\\") + argv[1] + L"\\";
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);

  static char buffer[1 << 16];
  const char tail[3] = {0, 0, 0};
  int files = 0;
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return 3;
  do {
    const std::size_t length = std::wcslen(data.cFileName);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || length < 4 ||
        _wcsicmp(data.cFileName + length - 4, L".qdx") != 0)
      continue;
    const auto open = [&](DWORD access) {
      return CreateFileW((folder + data.cFileName).c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    };
    HANDLE file = open(GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) return 4;
    LARGE_INTEGER size;
    DWORD read = 0, written = 0;
    OVERLAPPED at{};
    if (!GetFileSizeEx(file, &size) || !ReadFile(file, buffer, sizeof buffer, &read, &at)) return 5;
    CloseHandle(file);
    file = open(GENERIC_READ | GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) return 4;
    at.Offset = read;
    if (!WriteFile(file, tail, sizeof tail, &written, &at) || written != sizeof tail) return 6;
    CloseHandle(file);
    ++files;
  } while (FindNextFileW(find, &data));
  FindClose(find);

  QueryPerformanceCounter(&end);
  const long long micros = (end.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
  const std::string result = std::to_string(micros) + " " + std::to_string(files) + "\n";
  const HANDLE out = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD n = 0;
  if (out == INVALID_HANDLE_VALUE || !WriteFile(out, result.data(), static_cast<DWORD>(result.size()), &n, nullptr))
    return 7;
  CloseHandle(out);
  return 0;
}
