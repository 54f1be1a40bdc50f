#include "dbaccess/stop.h"

#include <ibase.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <type_traits>
#include <vector>

namespace dbx {

static_assert(std::is_same_v<AttachmentHandle, isc_db_handle>);

namespace {

std::atomic<int> g_stopStatus{0};
std::atomic<void (*)() noexcept> g_stopHook{nullptr};

// The busy hook and when it ran last (connections' thread only).
std::function<void()> g_busyHook;
std::chrono::steady_clock::time_point g_lastBusy;

// The connections there are (connections' thread only).
std::vector<TLiveConnection*> g_live;

// The attachments there are, for a thread that asks to stop.
std::mutex g_attachedMutex;
std::vector<isc_db_handle> g_attached;

void CancelAttachments(int kind) noexcept {
  std::lock_guard<std::mutex> lock(g_attachedMutex);
  for (isc_db_handle db : g_attached) {
    ISC_STATUS_ARRAY st;
    fb_cancel_operation(st, &db, static_cast<ISC_USHORT>(kind));
  }
}

}  // namespace

void RequestStop(int exitStatus) noexcept {
  int none = 0;
  if (!g_stopStatus.compare_exchange_strong(none, exitStatus)) return;
  // A call waiting in the client library (a lock, the server) returns.
  CancelAttachments(fb_cancel_raise);
}

void AbortOperations() noexcept { CancelAttachments(fb_cancel_abort); }

bool StopRequested() noexcept { return g_stopStatus.load() != 0; }

void SetStopHook(void (*hook)() noexcept) noexcept { g_stopHook.store(hook); }

void RunStopHook() noexcept {
  if (auto* hook = g_stopHook.exchange(nullptr)) hook();
}

int StopStatus() noexcept { return g_stopStatus.load(); }

void SetBusyHook(std::function<void()> hook) { g_busyHook = std::move(hook); }

void StopPoint() {
  const int status = g_stopStatus.load();
  if (status == 0) {
    if (g_busyHook) {
      const auto now = std::chrono::steady_clock::now();
      if (now - g_lastBusy >= std::chrono::milliseconds(100)) {
        g_lastBusy = now;
        g_busyHook();
      }
    }
    return;
  }
  RunStopHook();
  for (TLiveConnection* c : g_live) c->Abandon();
  std::fflush(nullptr);
  std::_Exit(status);
}

void AddLiveConnection(TLiveConnection* connection) { g_live.push_back(connection); }
void RemoveLiveConnection(TLiveConnection* connection) noexcept { std::erase(g_live, connection); }

void EndIdleWorkEverywhere() noexcept {
  for (TLiveConnection* c : g_live) c->EndIdleWork();
}

void AddAttachment(AttachmentHandle db) {
  std::lock_guard<std::mutex> lock(g_attachedMutex);
  g_attached.push_back(db);
}

void RemoveAttachment(AttachmentHandle db) noexcept {
  std::lock_guard<std::mutex> lock(g_attachedMutex);
  std::erase(g_attached, db);
}

}  // namespace dbx
