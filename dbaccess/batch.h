// Statements sent in chunks, with exactly the outcome of sending them one
// after another.
//
// A caller fills a batch with the statements it would run one by one, each
// with the way to run it alone, and flushes it. The batch sends them in
// order as few statements: EXECUTE BLOCKs in which every statement has its
// own error handler. The first statement that fails is undone by its
// handler and ends the block, which says which one it was; the statements
// before it stay. That one is then run alone, the caller's way, which raises
// or reports exactly as it always does, and the next block starts after it.
// A block that fails as a whole (the server refuses its text) is sent again
// statement by statement; one whose connection is gone raises. Every block
// is one statement: committed when it completes, or part of the explicit
// transaction in force.
//
// One thread only, like the connection.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "dbaccess/values.h"

namespace dbx {

class TSQLConnection;

// The limits of one block. The server takes at most 256 contexts (tables,
// procedures and views named) in one request; the client library a text of
// 65535 bytes. The server compiles a block of more than some 128 statements
// in more than linear time, and keeps a compiled block in memory while its
// text comes again, about 100 KB for each row it writes: the parameters of a
// block are bounded too (some 30 rows of a customer).
inline constexpr int kMaxBlockContexts = 256;
inline constexpr int kMaxBlockStatements = 128;
inline constexpr int kMaxBlockParameters = 320;

// A probe of the caller's: text + key (key a quoted literal) is a selection
// that finds the row or not.
struct TBatchProbe {
  std::string text;
  std::string key;
};

// An INSERT of one row with its values, as an apply writes it.
struct TBatchInsert {
  std::string table;                 // as the INSERT names it, quoted
  std::vector<std::string> columns;  // quoted
  std::vector<Variant> values;       // bound as the apply binds them
};

class TStatementBatch {
 public:
  // rowsPerChunk 1 (or less) sends no blocks: every statement is run alone
  // as it is added.
  TStatementBatch(TSQLConnection& connection, int rowsPerChunk);
  // What is still pending is dropped (never sent).
  ~TStatementBatch();
  TStatementBatch(const TStatementBatch&) = delete;
  TStatementBatch& operator=(const TStatementBatch&) = delete;

  using Action = std::function<void()>;

  // A statement as it stands; done is called when a block has run it.
  void Add(std::string statement, Action runAlone, Action done = {});
  // An INSERT of one row. It is not written when the probe finds a row at
  // its turn (the probe's key is then bound as a text of the attachment's
  // character set, as the literal is, so that a block's text comes again and
  // is prepared once). dropped is called when it is never sent, or before
  // runAlone when a block could not write it.
  void Add(TBatchInsert insert, TBatchProbe skipIfFound, Action runAlone, Action done, Action dropped);
  // A statement that only runs alone: what is pending is sent first.
  void AddAlone(Action runAlone);

  // Sends everything pending, in order.
  void Flush();

  // Runs a step of the caller's. When it raises, what is pending is sent
  // first, as one statement after another would have sent it by then, and
  // the exception goes on (or the one the sending raised).
  template <class F>
  void Step(F&& step) {
    try {
      step();
    } catch (...) {
      Flush();
      throw;
    }
  }

  [[nodiscard]] int RowsPerChunk() const noexcept { return rowsPerChunk_; }
  [[nodiscard]] std::size_t Pending() const noexcept { return pending_.size(); }
  // Blocks sent so far (for the benchmarks and tests).
  [[nodiscard]] int BlocksSent() const noexcept { return blocksSent_; }

 private:
  struct Entry {
    std::string statement;  // a statement as it stands,
    TBatchInsert insert;    // or an INSERT (its table is not empty)
    std::string probe;      // the probe's text before its key; empty when none
    Variant key;            // the probe's key, unquoted
    int contexts = 1;
    bool aloneOnly = false;
    Action runAlone, done, dropped;
    [[nodiscard]] bool IsInsert() const noexcept { return !insert.table.empty(); }
  };

  // The text and values of one block, entry by entry.
  struct Block {
    // Adds the entry as the number-th statement; false (nothing added) when
    // the block would pass a limit with it.
    bool Append(const Entry& e, std::size_t number);
    [[nodiscard]] std::string Text() const;
    std::vector<std::string> declarations;
    std::size_t declarationBytes = 0;
    std::string body;
    std::vector<const Variant*> values;
    int contexts = 0;
    int parameters = 0;
    std::string keyCharset;  // of the probes' keys
  };

  void Push(Entry entry);
  // Sends a block of count entries; returns how many ran before the one that
  // did not (count when all did).
  std::size_t SendBlock(const Block& block, std::size_t count);
  void RunAlone(std::size_t index);
  void DropFrom(std::size_t index) noexcept;

  TSQLConnection& connection_;
  int rowsPerChunk_;
  // The attachment's character set, that of a literal in its statements.
  std::string keyCharset_;
  std::vector<Entry> pending_;
  int blocksSent_ = 0;
};

// Whether a statement text is one statement: no ";", no comment and no
// unclosed literal or quoted name outside its literals and quoted names.
[[nodiscard]] bool IsOneStatement(const std::string& text);

// Which keys a probe finds: found[i] tells whether probeText + keys[i]
// returns a row (keys[i] in its quoted form). Learnt in one selection per
// chunk of keys, each key compared as the probe compares it. False when a
// selection failed (the server cannot compare a key so): the caller then
// probes the keys one by one. A lost connection raises.
[[nodiscard]] bool ProbeKeys(TSQLConnection& connection, const std::string& probeText,
                             const std::vector<std::string>& keys, std::vector<bool>& found);

}  // namespace dbx
