// The rows of a stream sent in chunks, with exactly the outcome of sending
// them one after another.
//
// A stream is a source of rows (each a statement's shape with its values)
// and a sink that hears what became of each, in the manner of LevelDB's
// WriteBatch::Handler. The batch reads rows from the source a chunk at a
// time and sends a chunk as few EXECUTE BLOCKs (sqltext.h): every row's
// statement has its own error handler, so the first that fails is undone
// by it and ends the block, which says which one it was; the rows before it
// stay. That row then runs alone, the sink's one-row way, which raises or
// reports exactly as it always does, and the next block starts after it. A
// block the server refuses as a whole is sent again row by row; one whose
// connection is gone raises. Every block is one statement: committed when
// it completes, or part of the explicit transaction in force.
//
// Nothing stays pending: Send returns when every row has been sent, and
// when the source or the sink raises, what was read before is sent first
// (or reported as never sent, when a failure stops the stream).
//
// One thread only, like the connection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/sqltext.h"
#include "dbaccess/values.h"

namespace dbx {

class TSQLConnection;

// One row of a stream.
struct TBatchRow {
  std::shared_ptr<const TRowShape> shape;  // empty: the row only runs alone
  std::vector<Variant> values;             // one per slot of the shape
  // When set, the row is written only where this comparison (one key slot)
  // finds no row at its turn.
  std::shared_ptr<const TRowShape> guard;
  Variant key;
  // The caller's: where the row comes from (a source's position), and the
  // client dataset's inserted row it is (0: none).
  int position = 0;
  std::uint64_t datasetRow = 0;
};

// Where the rows come from.
class TRowSource {
 public:
  virtual ~TRowSource() = default;
  // The next row; false at the end. What it raises ends the stream, after
  // the rows read before it have been sent.
  virtual bool Next(TBatchRow& row) = 0;
};

// What becomes of each row, in the order of the rows.
class TBatchSink {
 public:
  virtual ~TBatchSink() = default;
  // A block wrote the row.
  virtual void Written(const TBatchRow& row) = 0;
  // A block found the row's guard: the row is not written.
  virtual void Found(const TBatchRow& row) { (void)row; }
  // The row runs alone, as one row after another runs it (the rows before
  // it are sent).
  virtual void RunAlone(const TBatchRow& row) = 0;
  // A failure stopped the stream before the row was sent.
  virtual void Dropped(const TBatchRow& row) { (void)row; }
};

// The limits of one block. The server takes at most 256 contexts (tables
// and procedures named) in one request. In a server, a block of a shape is
// compiled once per attachment and comes again, so blocks are as long as a
// chunk; in the process (the embedded engine), a compiled block that comes
// again is kept in the program's memory, about 100 KB for each row it
// writes, so blocks stay short there.
inline constexpr TBlockText::Limits kServerBlockLimits{256, 256, 8000, 1024 * 1024};
inline constexpr TBlockText::Limits kProcessBlockLimits{128, 256, 320, 65535};

class TStatementBatch {
 public:
  // rowsPerChunk 1 (or less) sends no blocks: every row runs alone.
  TStatementBatch(TSQLConnection& connection, int rowsPerChunk);
  TStatementBatch(const TStatementBatch&) = delete;
  TStatementBatch& operator=(const TStatementBatch&) = delete;

  // Sends every row of the source, in order.
  void Send(TRowSource& source, TBatchSink& sink);

  [[nodiscard]] int RowsPerChunk() const noexcept { return rowsPerChunk_; }
  // Blocks sent so far (the tests read how rows were grouped).
  [[nodiscard]] int BlocksSent() const noexcept { return blocksSent_; }

 private:
  // Sends the rows read; each is reported to the sink. last: the source has
  // no more rows.
  void Flush(std::vector<TBatchRow>& rows, TBatchSink& sink, bool last = false);
  // The declared types of a procedure's parameters, as a block declares them.
  const std::vector<std::string>& Declared(const TRowShape& shape);

  TSQLConnection& connection_;
  int rowsPerChunk_;
  int blocksSent_ = 0;
  std::string declaredFor_;  // the procedure's statement they are of
  std::vector<std::string> declared_;
};

}  // namespace dbx
