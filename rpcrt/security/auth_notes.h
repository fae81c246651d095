// Notes on how a client authenticated: the mechanism Negotiate settled on, the account it
// used, and why it passed a mechanism over. The run time keeps no log of its own; a host that
// wants the notes installs a receiver.
#pragma once

#include <string>

namespace rpcrt::security {

using AuthNoteReceiver = void (*)(const std::string& note);

// Installs the receiver for every later note (nullptr: notes are dropped). Thread-safe.
void SetAuthNoteReceiver(AuthNoteReceiver receiver) noexcept;

// Hands `note` to the receiver, if any; a throwing receiver cannot disturb authentication.
void AuthNote(const std::string& note) noexcept;

// Whether a receiver is installed, so that notes are not composed for nobody.
bool AuthNotesWanted() noexcept;

}  // namespace rpcrt::security
