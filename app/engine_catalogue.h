// The catalogue access of a build with the database engine: the window's statements run
// through the access layer's objects exactly as the window uses them.
//
// - The database "Video" (QuarryDB) connects on the first lookup (the first year lookup of
//   the window's creation); just before connecting it adds the catalogue password to the
//   default session and points at the program's directory. A catalogue that cannot be
//   reached fails that statement with the engine's error; creating the access never fails.
// - Each lookup creates a query on "Video", adds its one statement line, opens it, reads
//   field 0 and frees the query, whatever happens; a walked lookup is prepared before it is
//   opened and unprepared after it is closed.
// - The search runs through the long-lived search query (qryQuarryStatic): it names no
//   database, so its tables come from the engine session's default directory; parameter
//   scanning is off; each search closes it, replaces its lines (which unprepares it),
//   prepares and opens it. The returned row source reads that open query.
#pragma once

#include "app/catalogue_access.h"

#include <memory>
#include <string>

// The catalogue in directory (with or without a trailing separator), opened with password.
std::unique_ptr<TCatalogueAccess> MakeEngineCatalogue(const std::string& directory, const std::string& password);
