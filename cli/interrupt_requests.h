// Interrupts of the command-line programs as stop requests.
#pragma once

#include <csignal>

namespace msu::cli {

// Turns an interrupt (SIGINT, SIGTERM, SIGHUP) into a stop request for its life, as the
// wizard's Cancel is one: a Context that watches Flag() (Context::WatchInterrupts) sees the
// request, the engine at work stops at its next step (never while the user's databases are
// off the server), its clean-up runs, and the program then ends. One interrupt is enough;
// further ones change nothing. A broken pipe never stops the program either: a reader that
// went away is no reason to leave working databases on the server. The handlers in place
// before are restored at the end.
class InterruptRequests {
 public:
  InterruptRequests();
  ~InterruptRequests();
  InterruptRequests(const InterruptRequests&) = delete;
  InterruptRequests& operator=(const InterruptRequests&) = delete;

  // Set to the number of the signal once one arrived (0 before).
  static const volatile std::sig_atomic_t* Flag();
  // The signal that arrived meanwhile, or 0.
  int Received() const;
};

}  // namespace msu::cli
