#include "cli/interrupt_requests.h"

#include <signal.h>

#include <iterator>

namespace msu::cli {

namespace {

volatile std::sig_atomic_t received_signal = 0;

void RememberSignal(int signal) { received_signal = signal; }

constexpr int kDeferredSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction saved_actions[3];

}  // namespace

InterruptRequests::InterruptRequests() {
  received_signal = 0;
  struct sigaction remember {};
  remember.sa_handler = &RememberSignal;
  sigemptyset(&remember.sa_mask);
  for (size_t i = 0; i < std::size(kDeferredSignals); ++i) {
    ::sigaction(kDeferredSignals[i], &remember, &saved_actions[i]);
  }
  ::signal(SIGPIPE, SIG_IGN);
}

InterruptRequests::~InterruptRequests() {
  for (size_t i = 0; i < std::size(kDeferredSignals); ++i) {
    ::sigaction(kDeferredSignals[i], &saved_actions[i], nullptr);
  }
}

const volatile std::sig_atomic_t* InterruptRequests::Flag() { return &received_signal; }

int InterruptRequests::Received() const { return received_signal; }

}  // namespace msu::cli
