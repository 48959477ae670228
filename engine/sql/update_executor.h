// TUpdateExecutor: UPDATE T SET c = v, ... [FROM T, ... joins] [WHERE ...] [NOAUTOINC]
// [COMMIT [INTERVAL n] [FLUSH]] [NOJOINOPTIMIZE].
//
// Each execution, inside the statement's transaction (change_transaction.h):
//  1. the joined rows that qualify are found as SELECT finds them (TChangeRows) and their
//     target records noted; values that read other tables than the target are evaluated
//     there, against the joined row;
//  2. each noted record is then read with its lock, given its new values (values that read
//     only the target are evaluated now, against the record) and updated.
// A record that several joined rows select is updated once, with the values of the last of
// them, and counted once. Progress runs over the noted records.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/change_executor.h"
#include "engine/sql/change_rows.h"
#include "engine/sql/change_target.h"

namespace quarry {

class TUpdateExecutor : public TChangeExecutor {
 public:
  explicit TUpdateExecutor(TQueryStatement& statement);

  void Prepare() override;
  void Execute() override;
  std::string PlanText() const override { return Found.PlanText(); }

 protected:
  bool SearchOwnSources(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) override {
    return Found.TextSearch(column, words, found, occurrences);
  }

 private:
  // A target record found by the walk, with the values evaluated there (when they read
  // other tables).
  struct TNoted {
    std::int32_t RecordNo = 0;
    std::vector<TExpTree> Values;
  };

  TChangeRows Found;
  TTargetColumns Columns;
  bool ValuesReadOthers = false;  // some value reads another table than the target
  std::vector<uint8_t> Buffer;

  void PrepareValues();
  std::vector<TNoted> NoteTargets();
  void UpdateOne(TNoted& noted, class TChangeTransaction& transaction);
};

}  // namespace quarry
