// The server page's routines: the list of servers, the test of a login, and the login check
// that runs whenever the wizard moves onto the merge database page.
#pragma once

#include <string>
#include <vector>

#include "core/context.h"

namespace msu {

// Directions of a wizard move, as the step machine passes them.
inline constexpr int kMoveByProgram = 0;
inline constexpr int kMoveBack = 1;
inline constexpr int kMoveNext = 2;

// The messages the login check shows in the server page's message label.
inline constexpr const char* kMsgPasswordNotSpecified = "Password not specified.";
inline constexpr const char* kMsgServerStopped = "The server is stopped.";
inline constexpr const char* kMsgPasswordIncorrect = "Password incorrect.";
inline constexpr const char* kMsgErrorNumber = "Error, number ";

// The names of the servers visible to the machine, in the backend's order, for the server box
// (the wizard selects the first when there is one). Shows the busy pointer while it asks.
// When the backend cannot list servers, shows a plain box with the description, a blank and
// the number, and returns an empty list: the login check then reports the failure to connect.
std::vector<std::string> FillServerList(Context& context);

// Connects to `server` as "VESTRA" with `password`, reads one server property and
// disconnects. Returns 0 on success, otherwise the error number of the failing step (the
// connection is ended on that path too) with its description in `*description` (may be null).
long TestLogin(Context& context, const std::string& server, const std::string& password,
               std::string* description = nullptr);

// When a run takes its locks (server/run_locks.h): with its login (msu, which makes its
// working copies right away), or only once it makes working copies (the wizard, whose window
// may stay on a page for as long as the user likes: the merge and split sequences take them).
enum class LocksAtLogin { kTake, kLeave };

struct LoginResult {
  bool ok = false;
  // Text for the server page's message label: empty on success.
  std::string message;
  // With a failed login: what `message` means for this server, in a line of its own: "No
  // server named X on this machine. Known servers: A, B." for a name no server answers to; for
  // a server that does not answer the command that starts it (Backend::StartCommand: "The
  // server X is not running; start it with: ...") or else "The server X does not answer: " and
  // the driver's description; otherwise the server's description of the failure. Empty for an
  // empty or incorrect password, whose messages say it all.
  std::string detail;
  // On success: the lines of the databases attached again on the way (one per line), for the
  // next page's label; empty when there were none.
  std::string note;
  // Refused because another run holds the application folder or the server.
  bool busy = false;
};

// The login check. Stores `server_text` as ServerName first, whatever follows. An empty
// `typed_password` gives "Password not specified." without any connection. Otherwise derives
// ServerPassword from it and tests the login: "The server is stopped.", "Password incorrect."
// or "Error, number " and the number in signed decimal on failure, with `detail`. Once the
// login works, with LocksAtLogin::kTake the run takes its locks (TakeRunLocks): when another run
// holds the application folder or the server, the check fails with that run's words and
// changes nothing. Then databases that an earlier run left detached are attached again
// (AttachPendingAgainLines; the lines go to the check page's log and into `note`). On success
// with `direction` kMoveBack, the working copies are removed (RemoveWorkingCopies: copy A, whose
// "W_O_R_K_A.tmp" and "W_O_R_K_A.ini" are deleted, and copy B with it, which is no use without
// A) and the run's locks given back; the files of a run that holds the folder are left alone.
// The busy pointer is shown for the whole check. Never throws; the wizard sets its button flags
// from `ok`.
LoginResult CheckLogin(Context& context, const std::string& server_text,
                       const std::string& typed_password, int direction,
                       LocksAtLogin locks = LocksAtLogin::kTake);

}  // namespace msu
