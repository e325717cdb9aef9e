#include "actions/favourites.h"

#include <algorithm>
#include <limits>

#include "forms/notices.h"
#include "picture/picture_decoder.h"
#include "runtime/clock.h"
#include "runtime/files.h"
#include "runtime/ini_file.h"
#include "runtime/places.h"
#include "toolkit/controls.h"

namespace mw::actions {
namespace {

using forms::Context;

// More names than a second holds: past that the folder is taken to be unusable.
constexpr int kMaxNameSteps = 1000;
// Names count from 1970-01-01 08:00 local time, the Unix epoch on a computer set to UTC+8.
constexpr long long kNameClockOffsetSeconds = 8 * 3600;

}  // namespace

Text favouriteFileName(long long clockMs) {
  clockMs = std::max(clockMs, 0LL);  // a clock set before the origin: a sign makes no name
  const Text millis = runtime::fromInteger(clockMs % 1000);
  return runtime::fromInteger(clockMs / 1000) + Text(3 - millis.size(), '0') + millis;
}

long long favouriteClockMs() {
  const long long ms = runtime::epochMilliseconds();
  return ms + (runtime::utcOffsetSeconds(ms / 1000) - kNameClockOffsetSeconds) * 1000;
}

Text saveFavourite(const Text& folder, const Bytes& picture, long long clockMs) {
  if (folder.empty()) return {};  // not set yet: "/" + name would land in the root folder
  // Clamped so that no step overflows or falls before the origin: each step names its own file.
  const long long first = std::clamp(clockMs, 0LL, std::numeric_limits<long long>::max() - kMaxNameSteps);
  for (int step = 0; step < kMaxNameSteps; ++step) {
    const Text path = folder + "/" + favouriteFileName(first + step) + ".jpg";
    switch (runtime::writeNewFile(path, picture)) {
      case runtime::NewFile::Written:
        return path;
      case runtime::NewFile::Exists:
        continue;
      case runtime::NewFile::Failed:
        return {};
    }
  }
  return {};
}

void saveToFavourites(const Context& ctx, int box) {
  const toolkit::PictureBox& from = *ctx.main.slot(box);
  if (!forms::holdsPicture(ctx, from)) return;
  const Bytes& picture = from.picture();
  // A failed download leaves the site's error page in the box: that is no picture to keep.
  if (picture::sniffPictureFormat(picture) == picture::PictureFormat::Unknown) {
    forms::showCursorTip(ctx, kUnknownPictureTip);
    return;
  }
  const Text path = saveFavourite(ctx.state.favourites.favouritesFolder, picture, favouriteClockMs());
  forms::showCursorTip(ctx, path.empty() ? kSaveFailedTip : kSavedTip);
  if (!path.empty() && ctx.state.favourites.saved) ctx.state.favourites.saved(path);
}

void changeFavouritesFolder(const Context& ctx) {
  const std::optional<Text> chosen =
      ctx.desktop.chooseFolder(ctx.main.主窗口, ctx.state.favourites.favouritesFolder);
  if (!chosen || chosen->empty()) return;  // cancelled: everything stays as it was
  // MW_scdz.ini is GBK: a path it cannot hold would come back naming another folder.
  if (!runtime::storablePath(*chosen)) {
    forms::showMessage(ctx, kUnstorableFolderMessage);
    return;
  }
  auto& favourites = ctx.state.favourites;
  favourites.favouritesFolder = *chosen;
  ctx.main.收藏目录地址显示->setCaption(*chosen);
  if (!runtime::writeIni(ctx.places.settingsFile(), "收藏"_gbk, "地址"_gbk, *chosen)) {
    forms::showMessage(ctx, kSettingsNotWrittenMessage);
  }
}

void openFavouritesFolder(const Context& ctx) {
  if (!ctx.desktop.openFolder(ctx.state.favourites.favouritesFolder))
    forms::showCursorTip(ctx, kCannotOpenFolderTip);
}

void bindFavourites(forms::HandlerRegistry& registry) {
  using toolkit::Event;
  const Context& ctx = registry.context();
  const forms::MainForm& f = ctx.main;
  for (int k = 1; k <= 16; ++k)
    registry.on(f.slot(k), Event::RightDown, [k](const Context& c) { saveToFavourites(c, k); });
  registry.on(f.更改收藏目录, Event::LeftDown, changeFavouritesFolder);
  registry.on(f.打开收藏目录, Event::LeftDown, openFavouritesFolder);
}

}  // namespace mw::actions
