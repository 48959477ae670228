// The user's star ratings: section "Rating" of the catalogue settings file, one key per rated
// video named by its VideoID in decimal, the number of stars as a decimal integer. A video
// without a key has 0 stars. The store reads and writes through TProfileFile, so every other
// line of the settings file (the window position among them) is kept.
#pragma once

#include <string>

class TRatingStore {
 public:
  explicit TRatingStore(std::string settingsFileName) : settingsFileName_(std::move(settingsFileName)) {}

  // The stored value as it is, in or out of 0 to 5; 0 when there is none or it is no integer.
  int Read(int videoId) const;
  // Raises quarry::EProfileFileError when the settings file cannot be written.
  void Write(int videoId, int stars);

  const std::string& SettingsFileName() const { return settingsFileName_; }

 private:
  std::string settingsFileName_;
};
