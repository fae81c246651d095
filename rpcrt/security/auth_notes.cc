#include "rpcrt/security/auth_notes.h"

#include <atomic>

namespace rpcrt::security {

namespace {
std::atomic<AuthNoteReceiver> g_receiver{nullptr};
}  // namespace

void SetAuthNoteReceiver(AuthNoteReceiver receiver) noexcept {
  g_receiver.store(receiver);
}

bool AuthNotesWanted() noexcept {
  return g_receiver.load() != nullptr;
}

void AuthNote(const std::string& note) noexcept {
  const AuthNoteReceiver receiver = g_receiver.load();
  if (receiver == nullptr) return;
  try {
    receiver(note);
  } catch (...) {
  }
}

}  // namespace rpcrt::security
