// The directors and cast of one video, looked up through TCatalogueAccess the way the
// current-record panel lists them: the ids of the video's link rows are collected as texts
// into a sorted set that ignores duplicates, then each id's name is looked up in id-text order.
// Qt-free, so the order and the failure rules are tested without a window.
#pragma once

#include "app/catalogue_access.h"

#include <functional>
#include <string>

// Receives one name of a list, in list order.
using TAddName = std::function<void(const std::string& name)>;

// Sends "SELECT DIRECTORID FROM VIDEOS_DIRECTORS WHERE VIDEOID = <videoId>" and, once per
// distinct id, "SELECT DIRECTOR FROM DIRECTORS WHERE DIRECTORID = <id>", handing add field 0
// of the first row of each (the empty text when the id has no name row).
//
// Ids are ordered as texts without regard to case, so "10" comes before "9"; an id held by
// several link rows gives its name once. An id text that is not an integer raises
// EConvertError; every name handed to add before the failure stays handed. Lookup failures
// propagate the same way.
void ListDirectorsOfVideo(TCatalogueAccess& catalogue, int videoId, const TAddName& add);

// The same for the cast: "SELECT CASTMEMBERID FROM VIDEOS_CASTMEMBERS WHERE VIDEOID = <videoId>"
// and "SELECT CASTMEMBER FROM CASTMEMBERS WHERE CASTMEMBERID = <id>".
void ListCastMembersOfVideo(TCatalogueAccess& catalogue, int videoId, const TAddName& add);
