#include "dbaccess/batch.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "dbaccess/clientdataset.h"
#include "dbaccess/errors.h"
#include "dbaccess/fbclient.h"
#include "dbaccess/sqlconnection.h"
#include "dbaccess/strings.h"

namespace dbx {

namespace {

// Names inside a block; "$" keeps them apart from the names of the
// statements' own tables and columns.
const char* const kRow = "LOTE$FILA";
const char* const kParameter = "LOTE$P";
const char* const kKey = "LOTE$K";

// The longest key bound as a parameter (the longest VARCHAR).
constexpr std::size_t kMaxKeyLength = 32765;

// The text of a quoted literal ('it''s' gives it's); false when the text is
// not one literal.
bool Unquote(const std::string& quoted, std::string& text) {
  if (quoted.size() < 2 || quoted.front() != '\'' || quoted.back() != '\'') return false;
  text.clear();
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] == '\'') {
      if (i + 2 >= quoted.size() || quoted[i + 1] != '\'') return false;
      ++i;
    }
    text += quoted[i];
  }
  return true;
}


// Text of one statement of a block, numbered from 1: it runs while no
// statement before it has stopped the block; a failure undoes it alone and
// stops the block there.
std::string Piece(const std::string& statement, const std::string& probe, bool insert, std::size_t number) {
  const std::string row = kRow;
  const std::string n = std::to_string(number);
  std::string piece = "  IF (" + row + " = 0) THEN\r\n  BEGIN\r\n";
  std::string indent = "    ";
  if (!probe.empty()) {
    piece += "    IF (EXISTS(" + probe + ")) THEN " + row + " = " + n + ";\r\n    ELSE\r\n    BEGIN\r\n";
    indent = "      ";
  }
  piece += indent + statement + ";\r\n";
  // An INSERT that wrote no row, or more than one, fails as the apply's does.
  if (insert) piece += indent + "IF (ROW_COUNT <> 1) THEN " + row + " = 1 / 0;\r\n";
  if (!probe.empty()) piece += "    END\r\n";
  piece += "    WHEN ANY DO " + row + " = " + n + ";\r\n  END\r\n";
  return piece;
}

std::string Declaration(const std::string& table, const std::string& column, int number) {
  return kParameter + std::to_string(number) + " TYPE OF COLUMN " + table + "." + column + " = ?";
}

// A probe's key: a text of the attachment's character set, as a literal is
// (NONE when the attachment names none); its length is rounded up so that
// blocks of keys of like lengths have one text.
std::string KeyDeclaration(std::size_t number, std::size_t length, const std::string& charset) {
  std::size_t declared = 32;
  while (declared < length) declared *= 2;
  declared = std::min<std::size_t>(declared, kMaxKeyLength);
  return std::string(kKey) + std::to_string(number) + " VARCHAR(" + std::to_string(declared) + ") CHARACTER SET " +
         charset + " = ?";
}

const std::string kHead = "EXECUTE BLOCK";
const std::string kReturns = std::string("\r\nRETURNS (") + kRow + " INTEGER)\r\nAS\r\nBEGIN\r\n  " + kRow + " = 0;\r\n";
// One row comes back: the number of the statement that stopped the block, 0
// when none did.
const std::string kEnd = "  SUSPEND;\r\nEND";

}  // namespace

bool IsOneStatement(const std::string& text) {
  bool any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ';') return false;
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') return false;
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') return false;
    if (c == '\'' || c == '"') {
      // A literal or a quoted name: a doubled quote stands for itself.
      if ((c == '\'') && i > 0 && (text[i - 1] == 'q' || text[i - 1] == 'Q') && (i < 2 || !IsSqlNameChar(text[i - 2])))
        return false;  // an alternative-quote literal: not ours
      std::size_t j = i + 1;
      for (;; ++j) {
        if (j >= text.size()) return false;
        if (text[j] == c) {
          if (j + 1 < text.size() && text[j + 1] == c) {
            ++j;
            continue;
          }
          break;
        }
      }
      i = j;
      any = true;
      continue;
    }
    if (static_cast<unsigned char>(c) > 32) any = true;
  }
  return any;
}

TStatementBatch::TStatementBatch(TSQLConnection& connection, int rowsPerChunk)
    : connection_(connection), rowsPerChunk_(rowsPerChunk), keyCharset_(connection.CharacterSet()) {}

TStatementBatch::~TStatementBatch() { DropFrom(0); }

void TStatementBatch::Add(std::string statement, Action runAlone, Action done) {
  Entry e;
  e.aloneOnly = !IsOneStatement(statement);
  e.statement = std::move(statement);
  e.runAlone = std::move(runAlone);
  e.done = std::move(done);
  Push(std::move(e));
}

void TStatementBatch::Add(TBatchInsert insert, TBatchProbe skipIfFound, Action runAlone, Action done,
                          Action dropped) {
  Entry e;
  std::string key;
  const bool probed = !skipIfFound.text.empty();
  e.aloneOnly = insert.table.empty() || insert.columns.empty() || insert.columns.size() != insert.values.size() ||
                (probed && (!IsOneStatement(skipIfFound.text + skipIfFound.key) || !Unquote(skipIfFound.key, key) ||
                            key.size() > kMaxKeyLength ||
                            !std::all_of(keyCharset_.begin(), keyCharset_.end(), IsSqlNameChar)));
  e.insert = std::move(insert);
  if (probed) {
    e.probe = std::move(skipIfFound.text);
    e.key = std::move(key);
  }
  e.contexts = probed ? 2 : 1;
  e.runAlone = std::move(runAlone);
  e.done = std::move(done);
  e.dropped = std::move(dropped);
  Push(std::move(e));
}

void TStatementBatch::AddAlone(Action runAlone) {
  Entry e;
  e.aloneOnly = true;
  e.runAlone = std::move(runAlone);
  Push(std::move(e));
}

void TStatementBatch::Push(Entry entry) {
  pending_.push_back(std::move(entry));
  // One statement after another: nothing waits.
  if (rowsPerChunk_ <= 1 || static_cast<int>(pending_.size()) >= rowsPerChunk_) Flush();
}

void TStatementBatch::DropFrom(std::size_t index) noexcept {
  for (std::size_t i = index; i < pending_.size(); ++i) {
    if (!pending_[i].dropped) continue;
    try {
      pending_[i].dropped();
    } catch (...) {
    }
  }
  pending_.clear();
}

void TStatementBatch::RunAlone(std::size_t index) {
  Entry& e = pending_[index];
  if (e.dropped) {
    Action dropped = std::move(e.dropped);
    e.dropped = nullptr;
    dropped();
  }
  e.runAlone();
}

void TStatementBatch::Flush() {
  std::size_t i = 0;
  try {
    while (i < pending_.size()) {
      const bool insert = pending_[i].IsInsert();
      if (rowsPerChunk_ <= 1 || pending_[i].aloneOnly) {
        RunAlone(i++);
        continue;
      }
      // As many as one block takes.
      Block block;
      block.keyCharset = keyCharset_;
      std::size_t j = i;
      while (j < pending_.size() && static_cast<int>(j - i) < rowsPerChunk_ && !pending_[j].aloneOnly &&
             block.Append(pending_[j], j - i + 1))
        ++j;
      // A statement alone is itself; an INSERT goes in a block even alone
      // (its probe is done already).
      if (j == i || (j == i + 1 && !insert)) {
        RunAlone(i++);
        continue;
      }
      std::optional<std::size_t> ran;
      try {
        ran = SendBlock(block, j - i);
      } catch (const Exception& e) {
        if (e.Category() == TErrorCategory::kConnectionLost) throw;
      }
      if (!ran) {
        // The server refused the block as a whole: nothing of it ran.
        while (i < j) RunAlone(i++);
        continue;
      }
      for (std::size_t k = i; k < i + *ran; ++k)
        if (pending_[k].done) pending_[k].done();
      i += *ran;
      if (i < j) RunAlone(i++);
    }
  } catch (...) {
    // What comes after the failure is never sent.
    DropFrom(i);
    throw;
  }
  pending_.clear();
}

bool TStatementBatch::Block::Append(const Entry& e, std::size_t number) {
  if (number > static_cast<std::size_t>(kMaxBlockStatements)) return false;
  std::string piece;
  std::vector<std::string> declarations;
  if (!e.IsInsert()) {
    piece = Piece(e.statement, {}, false, number);
  } else {
    std::vector<std::string> markers;
    int parameter = parameters;
    std::string probe;
    if (!e.probe.empty()) {
      ++parameter;
      declarations.push_back(KeyDeclaration(number, std::get<std::string>(e.key).size(), keyCharset));
      probe = e.probe + ":" + kKey + std::to_string(number);
    }
    for (const std::string& column : e.insert.columns) {
      ++parameter;
      declarations.push_back(Declaration(e.insert.table, column, parameter));
      std::string marker = ":";
      marker += kParameter;
      marker += std::to_string(parameter);
      markers.push_back(std::move(marker));
    }
    std::string insert = InsertSQL(e.insert.table, e.insert.columns, markers);
    while (!insert.empty() && (insert.back() == '\n' || insert.back() == '\r')) insert.pop_back();
    piece = Piece(insert, probe, true, number);
  }
  std::size_t declared = 0;
  for (const std::string& d : declarations) declared += d.size() + 2;
  const int newParameters = parameters + static_cast<int>(declarations.size());
  if (contexts + e.contexts > kMaxBlockContexts || newParameters > kMaxBlockParameters ||
      kHead.size() + 3 + declarationBytes + declared + kReturns.size() + body.size() + piece.size() + kEnd.size() >
          fb::kMaxStatementText)
    return false;
  contexts += e.contexts;
  parameters = newParameters;
  body += piece;
  for (std::string& d : declarations) {
    declarationBytes += d.size() + 2;
    this->declarations.push_back(std::move(d));
  }
  if (!e.probe.empty()) values.push_back(&e.key);
  for (const Variant& v : e.insert.values) values.push_back(&v);
  return true;
}

std::string TStatementBatch::Block::Text() const {
  std::string text = kHead;
  if (!declarations.empty()) {
    text += " (";
    for (std::size_t d = 0; d < declarations.size(); ++d) text += (d > 0 ? ", " : "") + declarations[d];
    text += ")";
  }
  return text + kReturns + body + kEnd;
}

std::size_t TStatementBatch::SendBlock(const Block& block, std::size_t count) {
  const std::vector<Variant> row = connection_.ExecuteForRow(block.Text(), block.values, isc_info_sql_stmt_select);
  ++blocksSent_;
  const std::int64_t* stopped = row.empty() ? nullptr : std::get_if<std::int64_t>(&row.front());
  if (stopped == nullptr || *stopped < 0 || static_cast<std::size_t>(*stopped) > count) return count;
  return *stopped == 0 ? count : static_cast<std::size_t>(*stopped - 1);
}

bool ProbeKeys(TSQLConnection& connection, const std::string& probeText, const std::vector<std::string>& keys,
               std::vector<bool>& found) {
  found.assign(keys.size(), false);
  const std::string head = "SELECT ";
  const std::string tail = " FROM RDB$DATABASE";
  std::size_t i = 0;
  while (i < keys.size()) {
    // One context for RDB$DATABASE, one for each key.
    std::string text = head;
    std::size_t j = i;
    while (j < keys.size() && static_cast<int>(j - i) < kMaxBlockContexts - 1) {
      const std::string probe = probeText + keys[j];
      if (!IsOneStatement(probe)) return false;
      std::string piece = (j > i ? " || " : "") + std::string("IIF(EXISTS(") + probe + "), '1', '0')";
      if (text.size() + piece.size() + tail.size() > fb::kMaxStatementText) break;
      text += piece;
      ++j;
    }
    if (j == i) return false;
    text += tail;
    std::vector<Variant> row;
    try {
      row = connection.ExecuteForRow(text, {}, isc_info_sql_stmt_select);
    } catch (const Exception& e) {
      if (e.Category() == TErrorCategory::kConnectionLost) throw;
      return false;
    }
    const std::string* flags = row.empty() ? nullptr : std::get_if<std::string>(&row.front());
    if (flags == nullptr || flags->size() != j - i) return false;
    for (std::size_t k = i; k < j; ++k) {
      const char c = (*flags)[k - i];
      if (c != '0' && c != '1') return false;
      found[k] = c == '1';
    }
    i = j;
  }
  return true;
}

}  // namespace dbx
