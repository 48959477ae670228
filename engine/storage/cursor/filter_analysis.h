// The first half of filter optimisation: which parts of a prepared filter tree the table's
// indexes can answer. TFilterTableView is what the optimiser knows of the table (fields,
// index file, record counts); TLeafRanges turns one comparison of an indexed column with
// constants into the index-order key intervals that hold exactly the records it accepts;
// TFilterAnalyser walks the tree bottom-up and leaves its marks on the nodes
// (OptimizeLevel 0 none / 1 partial / 2 full, OptimizeHint1 the level of a part demoted
// because it matched too many records, OptimizeHint2 the serving slot + 1, EstimatedCount and
// EstimatedCost), swapping the sides of an AND so that the better side comes first.
//
// A leaf is served only when the index answers it exactly as the evaluator would: the
// constant must survive being stored in the field unchanged, and the NULL rules of the
// comparisons are mapped onto the NULL keys (a NULL string orders as the empty text, which
// the record format stores as NULL). Tables with a language identifier order their keys
// by the locale, whose padding characters the key bounds cannot express: their filters are
// evaluated record by record.
//
// TEXTSEARCH of a column of the full-text index is answered by looking its words up there
// (filter_text.h): full when every word is answered exactly, partial when some words leave
// records to be tested one by one. Its estimate counts the keys of its words by walking
// them, since the full-text index keeps no key counts.
//
// The bitmap builder (filter_bitmap.h) reads the marks; both run for each rebuild of a
// cursor's visible records, so the estimates follow the table.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/cursor/filter_text.h"
#include "engine/storage/data/field_definition.h"
#include "engine/storage/index/index_file.h"
#include "engine/values/exp_token.h"

namespace quarry {

// What the optimiser reads of the table a filter runs on.
struct TFilterTableView {
  TIndexFile* Index = nullptr;
  const std::vector<TFieldDefinition>* Fields = nullptr;  // the table's, by field number - 1
  std::int32_t PhysicalRecords = 0;                       // record slots, deleted ones included
  int RecordSize = 0;
  bool Binary = true;  // no language identifier: keys compare bytewise
  // The text parameters the full-text index was built with (null: TEXTSEARCH is evaluated
  // record by record).
  const TTextParameters* Text = nullptr;
};

// One stretch of an index in index order. An open end excludes keys equal to its bound; an
// unbounded end runs to the start or the end of the index.
struct TKeyInterval {
  std::vector<std::uint8_t> From;
  std::vector<std::uint8_t> To;
  bool FromOpen = false;
  bool ToOpen = false;
  bool FromStart = false;
  bool ToEnd = false;
};

// The records a served leaf accepts: those whose keys lie in one of the intervals, or,
// inverted, every other record.
struct TLeafRanges {
  int Slot = -1;
  std::vector<TKeyInterval> Intervals;
  bool Invert = false;
};

// Options a filter was created with that change the analysis.
struct TAnalysisOptions {
  bool Estimate = true;          // count the keys of each leaf (90% and cost rules)
  bool CaseInsensitive = false;  // the filter compares strings ignoring case
};

class TFilterAnalyser {
 public:
  TFilterAnalyser(const TFilterTableView& table, TAnalysisOptions options) : table_(table), options_(options) {}

  // Marks the tree and returns the level of its root.
  std::uint8_t Analyse(TExpToken& root);
  // The key intervals of a served leaf (OptimizeHint2 set by Analyse); false when the leaf
  // is not one the index answers.
  bool LeafRanges(const TExpToken& leaf, TLeafRanges& ranges) const;
  // Keys the intervals hold (from the index's branch counts; nothing is read but the path).
  std::int64_t CountKeys(const TLeafRanges& ranges) const;
  // How the full-text index answers a TEXTSEARCH leaf (marked by Analyse), and the
  // TEXTSEARCH node the leaf asks; null when the index does not answer it.
  const TExpToken* TextLookup(const TExpToken& leaf, TTextLookup& lookup) const;

 private:
  std::uint8_t AnalyseNode(TExpToken& node);
  std::uint8_t AnalyseLeaf(TExpToken& node);
  std::uint8_t AnalyseTextSearch(TExpToken& node);
  // Marks a leaf that matched too many records as none, noting the level it had.
  std::uint8_t Demote(TExpToken& node, std::uint8_t level) const;
  // The slot of the first index whose first field is fieldNo and that compares as asked.
  int ServingSlot(int fieldNo, bool upper, bool caseInsensitive) const;

  const TFilterTableView& table_;
  TAnalysisOptions options_;
};

}  // namespace quarry
