#pragma once
// Where a shared collection keeps its pictures' bytes, each once, named by its content. One
// small interface, so that another kind of store (an object store) can stand in for the folder.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mw::site {

struct PictureKey {
  std::string id;   // the SHA-256 of the bytes, 64 lower-case hexadecimal digits
  std::string ext;  // "png", "jpg", ...
};

// The SHA-256 of `bytes` in lower-case hexadecimal: the id of a picture (see isPictureId).
std::string pictureId(std::string_view bytes);

// Whether a picture is recorded in the collection; nullopt when that cannot be told now (a
// store never removes what it cannot tell is unrecorded).
using Recorded = std::function<std::optional<bool>(const std::string& id)>;

class PictureStore {
 public:
  virtual ~PictureStore() = default;
  // Makes `bytes` durable under `key`: true once they are there whole, and would be after a
  // crash. A copy held already is kept, and counts as just put.
  virtual bool put(const PictureKey& key, std::string_view bytes, std::string& error) = 0;
  virtual std::optional<std::string> read(const PictureKey& key) = 0;
  virtual bool holds(const PictureKey& key) = 0;
  // Removes the picture's bytes unless it is recorded, or was put less than `minAge` ago (an
  // upload of the same picture may be on its way to its record).
  virtual void discard(const PictureKey& key, std::chrono::seconds minAge, const Recorded& recorded) = 0;
  // Removes what uploads left without a record for longer than `age`: half-written files, and
  // pictures never recorded.
  virtual void sweep(std::chrono::seconds age, const Recorded& recorded) = 0;
};

// Pictures as files below one folder, which several nodes may share: <root>/ab/cd/<id>.<ext>
// (ab and cd the id's first two pairs of digits). Each is written to a file of its own beside
// that name, synced, renamed into place, and the folder synced.
class FolderStore : public PictureStore {
 public:
  explicit FolderStore(std::string root);
  // Makes the folder when missing (not its parents); whether it can be written, the reason
  // when not.
  bool usable(std::string& error) const;

  bool put(const PictureKey& key, std::string_view bytes, std::string& error) override;
  std::optional<std::string> read(const PictureKey& key) override;
  bool holds(const PictureKey& key) override;
  void discard(const PictureKey& key, std::chrono::seconds minAge, const Recorded& recorded) override;
  void sweep(std::chrono::seconds age, const Recorded& recorded) override;

  std::string folderOf(const std::string& id) const;
  std::string pathOf(const PictureKey& key) const;

 private:
  const std::string root_;
};

}  // namespace mw::site
