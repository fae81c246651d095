#include "platform/clock.h"

#include "platform/win/windows_api.h"

namespace platform {
namespace {

class SystemTimer final : public IClock {
 public:
  DWORD Tick() override { return win32::GetTickCount(); }
  void Sleep(DWORD ms) override { win32::Sleep(ms); }
};

}  // namespace

IClock& SystemClock() {
  static SystemTimer clock;
  return clock;
}

}  // namespace platform
