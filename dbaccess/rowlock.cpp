#include "dbaccess/rowlock.h"

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"

namespace dbx {

namespace {

// A text of the monitoring tables (UTF-8) as internal text; bytes that are
// not UTF-8 of ISO-8859-1 stay as they are.
std::string MonitorText(const Variant& value) {
  const auto* text = std::get_if<std::string>(&value);
  if (text == nullptr) return {};
  std::string internal;
  return Utf8ToLatin1(*text, internal) ? internal : *text;
}

}  // namespace

TRowLock::TRowLock(const TSQLConnection& like)
    : like_(like), connection_(nullptr, "RowLock"), query_(nullptr, "QRowLock") {
  query_.SetSQLConnection(&connection_);
}

TRowLock::~TRowLock() { Release(); }

bool TRowLock::Acquire(const std::string& select, TLockHolder& holder) {
  Release();
  connection_.Params().Clear();
  for (const std::string& line : like_.Params().Lines()) connection_.Params().Add(line);
  // A row another transaction holds fails the selection at once.
  connection_.Params().SetValue("WaitOnLocks", "False");
  connection_.WireCompression = like_.WireCompression;
  try {
    connection_.StartTransaction(xilReadCommitted);
    query_.SQL().Clear();
    query_.SQL().Add(select);
    query_.Open();
    while (!query_.Eof()) query_.Next();  // each row is locked as it is fetched
    query_.Close();
    return true;
  } catch (const Exception& e) {
    if (e.Category() != TErrorCategory::kLockConflict) {
      Release();
      throw;
    }
    holder = Holder(e.Server().concurrentTransaction);
    Release();
    return false;
  } catch (...) {
    Release();
    throw;
  }
}

void TRowLock::Release() noexcept { connection_.SetConnected(false); }

TLockHolder TRowLock::Holder(long transaction) noexcept {
  TLockHolder h;
  try {
    query_.SQL().Clear();
    query_.SQL().Add(
        "SELECT t.MON$TIMESTAMP, a.MON$REMOTE_HOST, a.MON$REMOTE_ADDRESS, a.MON$REMOTE_PROCESS, a.MON$REMOTE_PID "
        "FROM MON$TRANSACTIONS t JOIN MON$ATTACHMENTS a ON a.MON$ATTACHMENT_ID = t.MON$ATTACHMENT_ID "
        "WHERE t.MON$TRANSACTION_ID = " +
        std::to_string(transaction));
    query_.Open();
    if (!query_.IsEmpty() && query_.Row().size() == 5) {
      const std::vector<Variant>& row = query_.Row();
      h.known = true;
      if (const auto* since = std::get_if<DateTime>(&row[0])) h.since = *since;
      h.host = MonitorText(row[1]);
      h.address = MonitorText(row[2]);
      h.process = MonitorText(row[3]);
      if (const auto* pid = std::get_if<std::int64_t>(&row[4])) h.pid = *pid;
    }
    query_.Close();
  } catch (...) {
    // The holder stays unknown.
  }
  return h;
}

}  // namespace dbx
