// The catalogue's statements run through the access layer's database and query objects.
#include "app/quarry_catalogue_access.h"

#include "dbaccess/dataset_row_source.h"
#include "dbaccess/quarry_session.h"
#include "dbaccess/session_list.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>

namespace {

constexpr const char* kDatabaseName = "Video";
constexpr const char* kLineBreak = "\r\n";

// The lines of a statement text whose lines are joined by CR LF.
std::vector<std::string> StatementLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find(kLineBreak, start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

// A query made for one lookup statement on QuarryDB; freed with the scope. The names sent
// inside the statements may hold ":", so parameter scanning stays off.
struct TLookupQuery {
    quarry::TQuarryQuery query;

    explicit TLookupQuery(const quarry::TQuarryDatabase& database, const std::string& statement)
    {
        query.SetParamCheck(false);
        query.SetDatabaseName(database.DatabaseName());
        query.AddSQL(statement);
    }
};

}  // namespace

TQuarryCatalogueAccess::TQuarryCatalogueAccess(std::string programDirectory)
    : programDirectory_(std::move(programDirectory))
{
    quarryDB_.SetName("QuarryDB");
    quarryDB_.SetDatabaseName(kDatabaseName);
    quarryDB_.SetSessionName("Default");
    quarryDB_.SetBeforeConnect([this](quarry::TQuarryDatabase& database) { QuarryDBBeforeConnect(database); });

    qryQuarryStatic_.SetName("qryQuarryStatic");
    qryQuarryStatic_.SetParamCheck(false);
    qryQuarryStatic_.SetMaxRowCount(-1);
    qryQuarryStatic_.AddSQL("Select * from Videos");
}

TQuarryCatalogueAccess::~TQuarryCatalogueAccess()
{
    try {
        qryQuarryStatic_.Close();
        qryQuarryStatic_.Unprepare();
        quarryDB_.Close();
    } catch (const std::exception& e) {
        // Nothing is written to the catalogue, so nothing is lost; say why the close failed.
        std::fprintf(stderr, "Pellomar: %s\n", e.what());
    }
}

void TQuarryCatalogueAccess::QuarryDBBeforeConnect(quarry::TQuarryDatabase& database)
{
    quarry::DefaultSession().AddPassword(kCataloguePassword);
    std::string directory = programDirectory_;
    if (directory.empty() || directory.back() != '/') directory += '/';
    database.SetDirectory(directory);
}

void TQuarryCatalogueAccess::Connect()
{
    if (!quarryDB_.Connected()) quarryDB_.Open();
}

std::string TQuarryCatalogueAccess::LookupFirst(const std::string& statement)
{
    Connect();
    TLookupQuery lookup(quarryDB_, statement);
    lookup.query.Open();
    // An empty result reads as a null field: the empty text.
    return lookup.query.Fields(0).AsString();
}

std::vector<std::string> TQuarryCatalogueAccess::LookupAll(const std::string& statement)
{
    Connect();
    TLookupQuery lookup(quarryDB_, statement);
    lookup.query.Prepare();
    lookup.query.Open();
    std::vector<std::string> values;
    for (lookup.query.First(); !lookup.query.Eof(); lookup.query.Next()) {
        values.push_back(lookup.query.Fields(0).AsString());
    }
    lookup.query.Close();
    lookup.query.Unprepare();
    return values;
}

std::unique_ptr<quarry::TRowSource> TQuarryCatalogueAccess::Search(const std::string& statement)
{
    qryQuarryStatic_.Close();
    qryQuarryStatic_.ClearSQL();
    for (const std::string& line : StatementLines(statement)) qryQuarryStatic_.AddSQL(line);
    if (!qryQuarryStatic_.Prepared()) qryQuarryStatic_.Prepare();
    qryQuarryStatic_.Open();
    // The result set keeps the five video fields, found by name; the join's extra VIDEOID
    // columns come after the video's own and are never taken.
    return std::make_unique<quarry::TDataSetRowSource>(qryQuarryStatic_);
}

std::string ProgramDirectory()
{
    std::string directory = QCoreApplication::applicationDirPath().toStdString();
    if (directory.empty() || directory.back() != '/') directory += '/';
    return directory;
}
