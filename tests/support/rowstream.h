// A row source over given rows that keeps, by position, what a batch made of
// each; tests add what a row run alone does.
#pragma once

#include <cstddef>
#include <vector>

#include "dbaccess/batch.h"

namespace testsupport {

struct RowStream : dbx::TRowSource, dbx::TBatchSink {
  bool Next(dbx::TBatchRow& row) override {
    if (next >= rows.size()) return false;
    row = rows[next++];
    return true;
  }
  void Written(const dbx::TBatchRow& row) override { written.push_back(row.position); }
  void Found(const dbx::TBatchRow& row) override { found.push_back(row.position); }

  std::vector<dbx::TBatchRow> rows;
  std::size_t next = 0;
  std::vector<int> written, found;
};

}  // namespace testsupport
