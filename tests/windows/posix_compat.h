// The POSIX C functions the shared unit tests use that mingw-w64's C run time lacks. The
// Windows build forces this header into every test source, so the tests stay one copy.
#pragma once

#include <direct.h>
#include <stdlib.h>
#include <string.h>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

// An empty value removes the variable from the C run time's and the process's environment.
inline int unsetenv(const char* name) {
  return _putenv_s(name, "") == 0 ? 0 : -1;
}

inline char* mkdtemp(char* pattern) {
  if (_mktemp_s(pattern, strlen(pattern) + 1) != 0) return nullptr;
  return _mkdir(pattern) == 0 ? pattern : nullptr;
}

// ws2_32's own, declared alone: winsock2.h cannot share a scope with the platform's Windows
// types and constants.
extern "C" __declspec(dllimport) unsigned long inet_addr(const char* text);
#define INADDR_NONE 0xffffffff
