// The per-video name lists: distinct id texts in text order, then one name lookup per id.
#include "app/video_credits.h"

#include "app/pellomar_utils.h"

#include <algorithm>
#include <set>

namespace {

// Orders texts bytewise with ASCII letters folded to upper case; texts that differ only in
// case are one entry.
struct TCaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const {
    const auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
      const auto ca = static_cast<unsigned char>(fold(a[i]));
      const auto cb = static_cast<unsigned char>(fold(b[i]));
      if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
  }
};

void ListNames(TCatalogueAccess& catalogue, const std::string& idStatement, const std::string& nameStatementStem,
               const TAddName& add) {
  const std::vector<std::string> idRows = catalogue.LookupAll(idStatement);
  const std::set<std::string, TCaseInsensitiveLess> ids(idRows.begin(), idRows.end());
  for (const std::string& id : ids) {
    add(catalogue.LookupFirst(nameStatementStem + std::to_string(StrToInt(id))));
  }
}

}  // namespace

void ListDirectorsOfVideo(TCatalogueAccess& catalogue, int videoId, const TAddName& add) {
  ListNames(catalogue, "SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = " + std::to_string(videoId),
            "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = ", add);
}

void ListCastMembersOfVideo(TCatalogueAccess& catalogue, int videoId, const TAddName& add) {
  ListNames(catalogue, "SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = " + std::to_string(videoId),
            "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = ", add);
}
