// TDeleteExecutor: DELETE FROM T [alias] [joins] [WHERE ...] [COMMIT [INTERVAL n] [FLUSH]]
// [NOJOINOPTIMIZE].
//
// Each execution, inside the statement's transaction (change_transaction.h), finds the joined
// rows that qualify as SELECT finds them (TChangeRows), notes each target record once, and
// then deletes the noted records. Progress runs over the noted records; an abort keeps (and
// counts) what was deleted before it.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sql/change_executor.h"
#include "engine/sql/change_rows.h"

namespace quarry {

class TDeleteExecutor : public TChangeExecutor {
 public:
  explicit TDeleteExecutor(TQueryStatement& statement);

  void Prepare() override;
  void Execute() override;
  std::string PlanText() const override { return Found.PlanText(); }

 protected:
  bool SearchOwnSources(const TExpToken& column, const std::string& words, bool& found, int32_t& occurrences) override {
    return Found.TextSearch(column, words, found, occurrences);
  }

 private:
  TChangeRows Found;

  std::vector<std::int32_t> NoteTargets();
};

}  // namespace quarry
