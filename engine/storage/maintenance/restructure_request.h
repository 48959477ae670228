// What a table restructure is asked to produce, and the two callbacks that follow it: the
// restructure event, raised for each record that cannot be carried over as it is, and the
// progress callback.
//
// Field mapping: the new structure's fields are listed in their new order. Each carries in
// FieldNo the number of the old field whose values it takes (a number no old field has, 0
// for instance, makes a new field that starts from its default). The new table numbers its
// fields by position; index definitions name fields by those new positions.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/storage/index/index_definition.h"
#include "engine/storage/index/text_index.h"
#include "engine/storage/table/directory.h"

namespace quarry {

// Why a record could not be carried over (the event's kind).
enum class TRestructureEventKind : int {
  OtherFailure = 0,   // text: the error's message
  DuplicateKey = 1,   // text: the index name
  ValidityCheck = 2,  // required, minimum or maximum; text: the field name
  FieldDropped = 3,   // an old field with no counterpart; text: the field name
  CannotConvert = 4,  // text: the field name
};

// Asked for a decision about one record. doNotAskAgain (in/out): set it to have every later
// failure treated as this answer. carryOn (in/out, true on entry): true goes on with the
// copy, false stops the restructure (the table stays as it was).
//   - FieldDropped: carrying on keeps the record without the field's value;
//   - every other kind: carrying on leaves the record out of the new table.
using TRestructureEventHandler =
    std::function<void(TRestructureEventKind kind, const std::string& text, bool& doNotAskAgain, bool& carryOn)>;

// Told a percentage whenever it has grown by the session's ProgressSteps, and 100 at the end.
using TProgressHandler = std::function<void(int percent)>;

struct TRestructureRequest {
  // Fields (FieldNo: the old field each one takes its values from), primary, secondary and
  // full-text indexes, language and sort, BLOB block size, description, encryption and
  // password, user versions. Table.LastAutoInc is not used: LastAutoIncValue says.
  TTableDefinition Table;
  std::optional<TTextParameters> TextParameters;  // none: keep the table's
  std::int32_t LastAutoIncValue = -1;             // -1: keep the table's
  bool NoBackups = false;
  TRestructureEventHandler OnEvent;
  TProgressHandler OnProgress;
};

// What a restructure did.
enum class TRestructureOutcome {
  DataRebuilt,     // the records were copied into a new table
  IndexesRebuilt,  // only the index file was rebuilt
  AttributesOnly,  // only descriptive attributes changed
  Stopped,         // the event handler stopped it; the table is as it was
};

}  // namespace quarry
