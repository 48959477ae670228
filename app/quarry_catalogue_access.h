// The catalogue on the Quarry engine: TCatalogueAccess answered through the access layer.
//
// Two data locations are in play. The lookups run on the database "Video" (QuarryDB), whose
// directory is the program's own directory; the search runs on qryQuarryStatic, which names
// no database and so reads its tables from the engine session's default directory (the
// process's current directory when the engine session started). The program is started with
// its directory as the current directory, so both reach the same tables.
//
// QuarryDB adds the catalogue password to the default session just before it connects, so
// the encrypted catalogue tables open without a prompt. It connects on the first statement;
// a missing or unreadable catalogue surfaces as the engine's error from that statement.
//
// Lookup queries are made for one statement and freed however it ends. The search query
// lives as long as this object: it stays prepared between searches and stays open after
// Search so that the result set can copy its rows.
//
// Used on the user-interface thread only.
#pragma once

#include "app/catalogue_access.h"
#include "dbaccess/quarry_database.h"
#include "dbaccess/quarry_query.h"

#include <memory>
#include <string>
#include <vector>

// The password of the program's catalogue tables.
inline constexpr const char* kCataloguePassword = "kqpwzra5";

class TQuarryCatalogueAccess final : public TCatalogueAccess {
public:
    // programDirectory: the directory of the database "Video" (normally the program's own).
    explicit TQuarryCatalogueAccess(std::string programDirectory);
    ~TQuarryCatalogueAccess() override;

    TQuarryCatalogueAccess(const TQuarryCatalogueAccess&) = delete;
    TQuarryCatalogueAccess& operator=(const TQuarryCatalogueAccess&) = delete;

    std::string LookupFirst(const std::string& statement) override;
    std::vector<std::string> LookupAll(const std::string& statement) override;
    // Replaces the search query's statement (one line per CR LF-separated line of the text),
    // prepares it unless it already is, opens it and returns a row source over it. The
    // source reads the open query; it is valid until the next Search or this object goes.
    std::unique_ptr<quarry::TRowSource> Search(const std::string& statement) override;

    // Connects QuarryDB when it is not connected yet.
    void Connect();

    quarry::TQuarryDatabase& QuarryDB() { return quarryDB_; }
    quarry::TQuarryQuery& QryQuarryStatic() { return qryQuarryStatic_; }

private:
    void QuarryDBBeforeConnect(quarry::TQuarryDatabase& database);

    std::string programDirectory_;
    // Declared before the query: the query closes before the database it reads goes away.
    quarry::TQuarryDatabase quarryDB_;
    quarry::TQuarryQuery qryQuarryStatic_;
};

// The directory of the running program, with a trailing "/".
std::string ProgramDirectory();
