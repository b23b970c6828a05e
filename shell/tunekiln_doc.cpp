#include "shell/tunekiln_doc.h"

#include "platform/input_file.h"
#include "platform/replacement_file.h"
#include "resources/strings.h"

namespace tunekiln {

bool CTunekilnDoc::OnNewDocument() {
  path_.reset();
  return true;
}

bool CTunekilnDoc::OnOpenDocument(const std::string& path) {
  if (!InputFile::open(path)) return false;
  path_ = path;
  return true;
}

bool CTunekilnDoc::OnSaveDocument(const std::string& path) {
  auto file = ReplacementFile::create(path);
  if (!file || !file->commit()) return false;
  path_ = path;
  return true;
}

std::string CTunekilnDoc::title() const {
  if (!path_) return std::string(strings::kUntitled);
  const auto slash = path_->rfind('/');
  return slash == std::string::npos ? *path_ : path_->substr(slash + 1);
}

}  // namespace tunekiln
