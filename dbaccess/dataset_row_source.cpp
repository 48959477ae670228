// The dataset as a row source (see dataset_row_source.h).
#include "dbaccess/dataset_row_source.h"

namespace quarry {

std::vector<TResultFieldDef> TDataSetRowSource::FieldDefs() const {
  std::vector<TResultFieldDef> out;
  for (int i = 0; i < dataSet_.FieldCount(); ++i) {
    const TQuarryField& field = dataSet_.Fields(i);
    TResultFieldDef def;
    def.name = field.FieldName();
    switch (field.DataType()) {
    case TDataFieldType::ftSmallint:
    case TDataFieldType::ftInteger:
    case TDataFieldType::ftAutoInc:
    case TDataFieldType::ftWord: def.kind = TResultFieldKind::Integer; break;
    default:
      def.kind = TResultFieldKind::String;
      def.size = field.Size();
      break;
    }
    out.push_back(def);
  }
  return out;
}

}  // namespace quarry
