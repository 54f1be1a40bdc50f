// Rows locked by a transaction of their own, on an attachment of their own,
// so that nobody else, from this process or any other machine, can lock them
// while they are held: a way for programs that share a database to take
// turns. Locking changes no data; the lock ends with a roll back, and the
// server rolls it back itself when the attachment goes (the program ends,
// is killed, or its connection drops).
#pragma once

#include <optional>
#include <string>

#include "dbaccess/sqlconnection.h"
#include "dbaccess/values.h"

namespace dbx {

// Who holds a lock, as far as the server's monitoring tables tell it (a user
// who is neither the owner nor SYSDBA sees only attachments of its own).
struct TLockHolder {
  bool known = false;             // the monitoring tables showed the holder
  std::optional<DateTime> since;  // start of the holder's transaction, by the server's clock
  std::string host;               // the holder's machine
  std::string address;            // its network address
  std::string process;            // its program
  long long pid = 0;              // its process, 0 when unknown
};

class TRowLock {
 public:
  // The attachment takes the parameters of `like` (database, user,
  // password...) when it locks, and does not wait on locks.
  explicit TRowLock(const TSQLConnection& like);
  ~TRowLock();
  TRowLock(const TRowLock&) = delete;
  TRowLock& operator=(const TRowLock&) = delete;

  // Locks the rows that `select` (a SELECT ... WITH LOCK) reads. false, with
  // the holder, when another transaction holds one of them; any other
  // failure raises. Rows the selection does not find are not locked.
  bool Acquire(const std::string& select, TLockHolder& holder);
  // Ends the lock: rolls back and detaches. Nothing when none is held.
  void Release() noexcept;

 private:
  TLockHolder Holder(long transaction) noexcept;

  const TSQLConnection& like_;
  TSQLConnection connection_;
  TSQLQuery query_;
};

}  // namespace dbx
