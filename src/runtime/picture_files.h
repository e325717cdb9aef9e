#pragma once
// The files through which the program hands pictures to other programs: what a GIF copy puts on
// the clipboard and what a drag carries. Each picture has one file, named by its content and
// written once: what another program already took stays as it was (a browser refuses a kept
// file whose time stamp changed), and the same picture handed again reuses its file untouched.
// The files lie in a folder of this run inside the private folder. The folders of earlier runs
// are removed when a run starts while no other run goes on.
#include <cstdint>
#include <list>
#include <string_view>

#include "runtime/text.h"

namespace mw::runtime {

class PictureFiles {
 public:
  // What the run's files may take together, counted after the newest is written.
  static constexpr std::uint64_t kKeptBytes = 64ull << 20;
  enum class Use { Clipboard, Drag };

  // In `privateFolder` (see privateFolder()); with an empty one no file can be had.
  explicit PictureFiles(const Text& privateFolder, std::uint64_t keptBytes = kKeptBytes);
  // Removes the run's files but the clipboard's, which a clipboard manager or a chat may still
  // read: the next run removes it.
  ~PictureFiles();
  PictureFiles(const PictureFiles&) = delete;
  PictureFiles& operator=(const PictureFiles&) = delete;

  // The file holding `bytes`, named by their content with `extension`: written now unless the
  // run has it already. Empty when it cannot be written.
  Text file(std::string_view bytes, std::string_view extension);

  // What the clipboard or the drag holds now (empty: none of these files). Then, past the kept
  // bytes, removes the files used least lately, never one in use: once the new picture is
  // handed out, so that a copy does not wait for it.
  void setInUse(Use use, const Text& file);

  // This run's folder; empty when there is none.
  const Text& folder() const { return runFolder_; }

 private:
  struct Entry {
    Text path;
    std::uint64_t size;
  };
  void trim();
  bool inUse(const Text& path) const { return path == clipboard_ || path == drag_; }

  int lock_ = -1;
  Text runFolder_;
  std::uint64_t keptBytes_;
  std::uint64_t total_ = 0;
  std::list<Entry> entries_;  // the least lately used first
  Text clipboard_;
  Text drag_;
};

}  // namespace mw::runtime
