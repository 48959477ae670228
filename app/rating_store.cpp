// TRatingStore: one integer key per video in section "Rating".
#include "app/rating_store.h"

#include "engine/platform/profile_file.h"

namespace {
const char* const kRatingSection = "Rating";
}

int TRatingStore::Read(int videoId) const {
  return quarry::TProfileFile(settingsFileName_).ReadInteger(kRatingSection, std::to_string(videoId), 0);
}

void TRatingStore::Write(int videoId, int stars) {
  quarry::TProfileFile(settingsFileName_).WriteInteger(kRatingSection, std::to_string(videoId), stars);
}
