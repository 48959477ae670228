// A fake catalogue for window tests: answers lookups from a table of statement texts,
// returns canned search rows, records every statement, and fails everything (or the
// search result at a given row) when told.
#pragma once

#include "app/catalogue_access.h"

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

class TFakeCatalogue : public TCatalogueAccess {
 public:
  std::map<std::string, std::vector<std::string>> answers;
  std::vector<TVideoRow> searchRows;
  std::vector<std::string> lookups;
  std::vector<std::string> searches;
  bool failing = false;
  long failAtRow = -1;  // the search result fails to read at this row (-1: never)

  std::string LookupFirst(const std::string& statement) override {
    const auto rows = Lookup(statement);
    return rows.empty() ? std::string() : rows.front();
  }
  std::vector<std::string> LookupAll(const std::string& statement) override { return Lookup(statement); }
  std::unique_ptr<quarry::TRowSource> Search(const std::string& statement) override {
    if (failing) throw std::runtime_error("search failed");
    searches.push_back(statement);
    auto source = VideoRowSource(searchRows);
    source->FailAtRow(failAtRow);
    return source;
  }

 private:
  std::vector<std::string> Lookup(const std::string& statement) {
    if (failing) throw std::runtime_error("lookup failed");
    lookups.push_back(statement);
    const auto it = answers.find(statement);
    return it == answers.end() ? std::vector<std::string>{} : it->second;
  }
};
