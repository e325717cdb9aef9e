#pragma once
// The records of a shared collection's pictures: which pictures it holds, in what format, and
// who gave each. The uploads keep their bytes in a PictureStore and record them here only once
// the bytes are durable, so that no record points at a missing or partial file.
#include <optional>
#include <string>

namespace mw::site {

struct PictureRecord {
  std::string id;        // the SHA-256 of its bytes, 64 lower-case hexadecimal digits
  std::string ext;       // its format's file extension: "png", "jpg", "gif", "bmp", ...
  std::string uploader;  // the name its uploader's token stands for
};

enum class AddResult { Added, Held, Failed };

class PictureCollection {
 public:
  virtual ~PictureCollection() = default;
  // Records a picture whose bytes are in the store. Held when its id is recorded already (the
  // first record stays as it was); Failed when the collection could not be written.
  virtual AddResult add(const PictureRecord& record) = 0;
  // Looks the id up: false when the collection could not be asked (which is not "absent").
  virtual bool find(const std::string& id, std::optional<PictureRecord>& found) = 0;
  // Removes the id's record, if any; false when the collection could not be written.
  virtual bool remove(const std::string& id) = 0;
};

}  // namespace mw::site
