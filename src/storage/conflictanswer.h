#pragma once
// The clerk's answer when a store meets a row another station changed since
// it was read (a ConflictError). Both tests' windows ask it and both tests'
// rules act on it, so it lives beside the conflict itself.

namespace quillon {

enum class ConflictChoice {
  Undecided,   // closed without choosing: nothing stored, the typing stays
  KeepTheirs,  // the other station's row stays; what was typed is dropped
  StoreOurs,   // what was typed is stored over their row
};

}  // namespace quillon
