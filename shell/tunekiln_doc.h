#pragma once

#include <optional>
#include <string>

namespace tunekiln {

// The document of the window: the name of the file the player has open, and nothing else. It
// is never modified, so there is never anything to save.
class CTunekilnDoc {
 public:
  void OnNewDocument() { path_.reset(); }
  void OnOpenDocument(const std::string& path) { path_ = path; }
  const std::optional<std::string>& path() const { return path_; }

 private:
  std::optional<std::string> path_;
};

}  // namespace tunekiln
