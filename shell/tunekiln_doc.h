#pragma once

#include <optional>
#include <string>

namespace tunekiln {

// The document of the window: a name and nothing else. Opening one reads nothing from the
// file; saving one writes a file without content.
class CTunekilnDoc {
 public:
  bool OnNewDocument();
  // False when the file cannot be read.
  bool OnOpenDocument(const std::string& path);
  // False when the file cannot be written; a file already there is then left as it was.
  bool OnSaveDocument(const std::string& path);

  const std::optional<std::string>& path() const { return path_; }
  // The file's name, or "Untitled" for a document never saved.
  std::string title() const;

 private:
  std::optional<std::string> path_;
};

}  // namespace tunekiln
