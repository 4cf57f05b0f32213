// Work shared between two threads, each reading a database on a connection of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <system_error>

#include "data/data_access.h"

namespace msu::data {

// A second connection to a database that a routine reads, opened for that routine alone: part
// of the reading runs there on a thread of its own (HelperThread). While the calling thread
// waits for that thread it calls `beat` (a window stays responsive); a true from it, a stop
// request, interrupts the statement under way on the second connection as the first
// connection's own heartbeat interrupts its statements.
struct SecondReader {
  Connection* connection = nullptr;  // none: everything is read on the first connection
  std::function<bool()> beat;
};

// A thread that runs `work` on a connection of its own. The connection's statements are
// interrupted once the thread is told to stop; leaving the scope tells it so and waits for it,
// whatever way the scope is left. When no thread can be started, the work runs at once on the
// calling thread.
class HelperThread {
 public:
  template <class Work>
  HelperThread(Connection& connection, Work work) : connection_(connection) {
    connection_.SetHeartbeat([this] { return stop_.load(); });
    try {
      done_ = std::async(std::launch::async, work);
    } catch (const std::system_error&) {
      connection_.SetHeartbeat({});
      work();
    }
  }
  ~HelperThread() {
    stop_ = true;
    if (done_.valid()) done_.wait();
    connection_.SetHeartbeat({});
  }
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Waits for the work to end, calling `beat` between short waits; a true from it stops the
  // work at its next statement. What the work threw is thrown here.
  void Wait(const std::function<bool()>& beat) {
    if (!done_.valid()) return;
    while (done_.wait_for(std::chrono::milliseconds(40)) != std::future_status::ready) {
      if (beat && beat()) stop_ = true;
    }
    done_.get();
  }

 private:
  Connection& connection_;
  std::atomic<bool> stop_{false};
  std::future<void> done_;
};

}  // namespace msu::data
