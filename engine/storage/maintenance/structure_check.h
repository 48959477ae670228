// Checks of a restructure request before anything changes: the new structure checked and
// normalised as table creation does it, and the comparisons that decide what a restructure
// must rebuild (indexes, the text index and its parameters, the stored form of fields).
// Used by table_maintenance.cpp.
#pragma once

#include <string>

#include "engine/storage/data/field_definition.h"
#include "engine/storage/index/collation.h"
#include "engine/storage/index/index_definition.h"
#include "engine/storage/index/text_index.h"
#include "engine/storage/maintenance/restructure_request.h"

namespace quarry {

// Checks the requested structure as table creation does and returns it normalised: names
// trimmed (secondary index names upper-cased), declared sizes and scales cleared where the
// type has none, the primary index unnamed and unique. Errors name table and database.
TRestructureRequest CheckedStructure(const TRestructureRequest& request, const std::string& table,
                                     const std::string& database);
// The same index definition (name compared trimmed, ignoring case).
bool SameIndex(const TIndexDefinition& a, const TIndexDefinition& b);
// The same fields in a text index.
bool SameTextIndexFields(const TIndexDefinition& a, const TIndexDefinition& b);
// The same text-index parameters (stop words compared by the collation, in any order).
bool SameTextParameters(const TTextParameters& a, const TTextParameters& b, const TCollation& collation);
// True when a field's stored form changes (anything but its descriptive attributes).
bool StorageDiffers(const TFieldDefinition& have, const TFieldDefinition& want, int position);

}  // namespace quarry
