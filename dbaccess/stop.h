// Stopping the program on request (a stop signal): the one state of the
// process that a signal's thread reaches. RequestStop and AbortOperations
// may be called from any thread; the stop itself happens on the thread that
// uses the connections, at its next call into the database layer or at
// StopPoint: every connection rolls back its open transactions (an explicit
// one included) and detaches, and the process ends with exitStatus.
// RequestStop also cancels what is running in the client library, so that a
// wait on a lock or on the server returns; AbortOperations drops the
// attachments' links to a server that does not answer even that.
#pragma once

#include <functional>

namespace dbx {

void RequestStop(int exitStatus) noexcept;
void AbortOperations() noexcept;
[[nodiscard]] bool StopRequested() noexcept;
void StopPoint();
// What the program records of such an end: called once, at the stop, on the
// stopping thread, before the connections are abandoned. It must not use the
// connections. Set it before the stop can come.
void SetStopHook(void (*hook)() noexcept) noexcept;
// Runs the hook now, unless it has run: for a stop that cannot wait for the
// stopping thread any more (it is stuck in a call that never returns).
void RunStopHook() noexcept;
// The exit status a stop request asked for; 0 when none came.
[[nodiscard]] int StopStatus() noexcept;

// While set, called from the calls into the database layer, at most every
// 100 ms (on the connections' thread): the program's way to keep answering
// the window system during long work. It must not use the connections.
void SetBusyHook(std::function<void()> hook);

// A connection as the stop and the idle hook see it. Every connection
// registers itself while it lives (on the connections' thread).
class TLiveConnection {
 public:
  // Rolls back and detaches without waiting for an answer.
  virtual void Abandon() noexcept = 0;
  // Ends the work the connection keeps open between statements.
  virtual void EndIdleWork() noexcept = 0;

 protected:
  ~TLiveConnection() = default;
};
void AddLiveConnection(TLiveConnection* connection);
void RemoveLiveConnection(TLiveConnection* connection) noexcept;
// EndIdleWork of every connection there is: what the program does when it
// waits for input.
void EndIdleWorkEverywhere() noexcept;

// The client library's handles of the attachments there are, for a thread
// that asks to stop (the client library's isc_db_handle).
using AttachmentHandle = unsigned int;
void AddAttachment(AttachmentHandle db);
void RemoveAttachment(AttachmentHandle db) noexcept;

}  // namespace dbx
