#include "dbaccess/batch.h"

#include <utility>

#include "dbaccess/errors.h"
#include "dbaccess/sqlconnection.h"

namespace dbx {

namespace {

// Rows not reported yet, from index on, as never sent.
void DropFrom(std::vector<TBatchRow>& rows, std::size_t index, TBatchSink& sink) noexcept {
  for (std::size_t i = index; i < rows.size(); ++i) {
    try {
      sink.Dropped(rows[i]);
    } catch (...) {
    }
  }
  rows.clear();
}

}  // namespace

TStatementBatch::TStatementBatch(TSQLConnection& connection, int rowsPerChunk)
    : connection_(connection), rowsPerChunk_(rowsPerChunk) {}

void TStatementBatch::Send(TRowSource& source, TBatchSink& sink) {
  std::vector<TBatchRow> pending;
  for (;;) {
    TBatchRow row;
    bool more = false;
    try {
      more = source.Next(row);
    } catch (...) {
      Flush(pending, sink);  // sent as one after another would have sent them by then
      throw;
    }
    if (!more) break;
    if (rowsPerChunk_ <= 1 || !row.shape) {
      Flush(pending, sink);
      sink.RunAlone(row);
      continue;
    }
    pending.push_back(std::move(row));
    if (static_cast<int>(pending.size()) >= rowsPerChunk_) Flush(pending, sink);
  }
  Flush(pending, sink, true);
}

const std::vector<std::string>& TStatementBatch::Declared(const TRowShape& shape) {
  static const std::vector<std::string> kNone;
  if (shape.target != TRowShape::Target::kProcedure) return kNone;
  const std::string text = ShapeText(shape, std::vector<std::string>(shape.Slots(), "?"));
  if (text == declaredFor_) return declared_;
  declared_.clear();
  declaredFor_ = text;
  // The parameters as the server describes the row's statement; a type no
  // block variable takes leaves the rows that need it to run alone.
  try {
    for (const FieldDesc& d : connection_.DescribeParameters(text))
      declared_.push_back(SqlTypeName(d, connection_.CharacterSet()));
  } catch (const Exception& e) {
    if (e.Category() == TErrorCategory::kConnectionLost) throw;
    declared_.clear();  // the rows run alone, and fail or not there
  }
  return declared_;
}

void TStatementBatch::Flush(std::vector<TBatchRow>& rows, TBatchSink& sink, bool last) {
  const TBlockText::Limits& limits = connection_.IsRemote() ? kServerBlockLimits : kProcessBlockLimits;
  std::size_t i = 0;
  try {
    while (i < rows.size()) {
      TBlockText block(connection_.CharacterSet(), limits);
      bool ownTypes = true;
      std::size_t j = i;
      while (j < rows.size()) {
        const TBatchRow& r = rows[j];
        if (!r.shape || !block.Append(*r.shape, r.values, Declared(*r.shape), r.guard.get(), &r.key)) break;
        for (const TSlotForm form : r.shape->forms)
          ownTypes = ownTypes && (form != TSlotForm::kParameter || r.shape->ownTypes);
        ++j;
      }
      if (j == i) {
        // No block carries it.
        const std::size_t alone = i++;
        sink.RunAlone(rows[alone]);
        continue;
      }
      std::vector<const Variant*> values;
      values.reserve(block.Values().size());
      for (const Variant& v : block.Values()) values.push_back(&v);
      std::vector<Variant> outputs;
      bool sent = false;
      try {
        // The blocks of the stream's last chunk are not likely to come again:
        // one the attachment has not seen may go as one request.
        outputs = connection_.ExecuteBlock(block.Text(), values, TBlockText::Outputs(block.Rows()), ownTypes && last);
        sent = true;
      } catch (const Exception& e) {
        if (e.Category() == TErrorCategory::kConnectionLost) throw;
      }
      ++blocksSent_;
      if (!sent) {
        // The server refused the block as a whole: nothing of it ran.
        while (i < j) {
          const std::size_t alone = i++;
          sink.RunAlone(rows[alone]);
        }
        continue;
      }
      std::size_t ran = 0;
      std::vector<bool> found;
      if (!TBlockText::Outcome(outputs, j - i, ran, found))
        throw EDatabaseError("El resultado de un lote de sentencias no se pudo leer");
      for (std::size_t k = 0; k < ran; ++k) {
        const std::size_t row = i++;
        if (found[k])
          sink.Found(rows[row]);
        else
          sink.Written(rows[row]);
      }
      if (i < j) {
        // The row that stopped the block.
        const std::size_t alone = i++;
        sink.RunAlone(rows[alone]);
      }
    }
  } catch (...) {
    // What comes after the failure is never sent.
    DropFrom(rows, i, sink);
    throw;
  }
  rows.clear();
}

}  // namespace dbx
