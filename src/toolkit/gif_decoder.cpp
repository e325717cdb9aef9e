// GIF through giflib's record-level reader, so that sizes and the frame count are checked before
// anything is allocated for a frame. Frames are composed onto a canvas the size of the logical
// screen, honouring each frame's disposal method, and stored as full canvases.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "toolkit/picture_codecs.h"

namespace mw::toolkit::detail {
namespace {

// All frames of one animation together may hold at most this many pixels.
constexpr long long kMaxAnimationPixels = 4 * kMaxPixels;
// Browsers show frames with a delay of 0 or 10 ms for 100 ms; pictures made for them count on it.
constexpr int kShortDelayMs = 100;

struct MemoryInput {
  std::string_view bytes;
  std::size_t pos = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* buffer, int size) {
  auto* in = static_cast<MemoryInput*>(gif->UserData);
  if (size <= 0) return 0;
  const std::size_t n = std::min<std::size_t>(std::size_t(size), in->bytes.size() - in->pos);
  std::memcpy(buffer, in->bytes.data() + in->pos, n);
  in->pos += n;
  return int(n);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using GifHandle = std::unique_ptr<GifFileType, GifCloser>;

QString gifError(int code) {
  const char* text = GifErrorString(code);
  return QStringLiteral("GIF: ") + (text ? QString::fromLatin1(text) : QStringLiteral("error %1").arg(code));
}

// Graphics control of the next image.
struct Control {
  int disposal = DISPOSAL_UNSPECIFIED;
  int delayMs = 0;
  int transparent = NO_TRANSPARENT_COLOR;
};

QRgb paletteColour(const ColorMapObject* map, int index) {
  if (!map || index < 0 || index >= map->ColorCount) return qRgb(0, 0, 0);
  const GifColorType& c = map->Colors[index];
  return qRgb(c.Red, c.Green, c.Blue);
}

}  // namespace

DecodedPicture decodeGif(std::string_view bytes) {
  DecodedPicture out;
  out.format = PictureFormat::Gif;
  MemoryInput input{bytes};
  int error = 0;
  GifHandle gif(DGifOpen(&input, &readFromMemory, &error));
  if (!gif) {
    out.error = gifError(error);
    return out;
  }
  int screenW = gif->SWidth, screenH = gif->SHeight;
  out.naturalSize = QSize(screenW, screenH);
  if ((screenW || screenH) && !withinLimits(screenW, screenH)) {
    out.error = QStringLiteral("GIF: picture too large (%1 x %2)").arg(screenW).arg(screenH);
    return out;
  }

  QImage canvas;
  Control control;
  long long animationPixels = 0;
  std::vector<GifPixelType> line;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) {
      error = gif->Error;
      break;
    }
    if (record == TERMINATE_RECORD_TYPE) break;

    if (record == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* ext = nullptr;
      if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR) {
        error = gif->Error;
        break;
      }
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
        GraphicsControlBlock gcb{};
        DGifExtensionToGCB(ext[0], ext + 1, &gcb);
        control.disposal = gcb.DisposalMode;
        control.delayMs = gcb.DelayTime <= 1 ? kShortDelayMs : gcb.DelayTime * 10;
        control.transparent = gcb.TransparentColor;
      }
      while (ext) {
        if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR) {
          error = gif->Error;
          break;
        }
      }
      if (error) break;
      continue;
    }
    if (record != IMAGE_DESC_RECORD_TYPE) continue;

    if (int(out.frames.size()) >= kMaxFrames) {
      error = 0;
      out.frames.clear();
      out.error = QStringLiteral("GIF: more than %1 frames").arg(kMaxFrames);
      return out;
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
      error = gif->Error;
      break;
    }
    const GifImageDesc& desc = gif->Image;
    if (!withinLimits(desc.Width, desc.Height)) {
      out.frames.clear();
      out.error = (desc.Width <= 0 || desc.Height <= 0 ? QStringLiteral("GIF: empty frame (%1 x %2)")
                                                       : QStringLiteral("GIF: frame too large (%1 x %2)"))
                      .arg(desc.Width)
                      .arg(desc.Height);
      return out;
    }
    if (canvas.isNull()) {
      // A zero logical screen is taken from the first frame, as viewers do.
      if (screenW == 0 || screenH == 0) {
        screenW = desc.Left + desc.Width;
        screenH = desc.Top + desc.Height;
        out.naturalSize = QSize(screenW, screenH);
        if (!withinLimits(screenW, screenH)) {
          out.error = QStringLiteral("GIF: picture too large (%1 x %2)").arg(screenW).arg(screenH);
          return out;
        }
      }
      canvas = QImage(screenW, screenH, QImage::Format_ARGB32);
      if (canvas.isNull()) {
        out.error = QStringLiteral("GIF: out of memory");
        return out;
      }
      canvas.fill(Qt::transparent);
    }
    // Bounds both the memory of the stored canvases and the decoding work of off-canvas frames.
    animationPixels += std::max((long long)screenW * screenH, (long long)desc.Width * desc.Height);
    if (animationPixels > kMaxAnimationPixels) {
      out.frames.clear();
      out.error = QStringLiteral("GIF: animation too large");
      return out;
    }

    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    const QImage before = control.disposal == DISPOSE_PREVIOUS ? canvas.copy() : QImage();
    const QRect area = QRect(desc.Left, desc.Top, desc.Width, desc.Height) & canvas.rect();

    // Interlaced frames store rows in four passes.
    std::vector<int> rows;
    rows.reserve(std::size_t(desc.Height));
    if (desc.Interlace) {
      static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass)
        for (int y = kStart[pass]; y < desc.Height; y += kStep[pass]) rows.push_back(y);
    } else {
      for (int y = 0; y < desc.Height; ++y) rows.push_back(y);
    }
    line.resize(std::size_t(desc.Width));
    bool truncated = false;
    for (int y : rows) {
      if (DGifGetLine(gif.get(), line.data(), desc.Width) == GIF_ERROR) {
        error = gif->Error;
        truncated = true;
        break;
      }
      const int cy = desc.Top + y;
      if (cy < area.top() || cy > area.bottom()) continue;
      auto* px = reinterpret_cast<QRgb*>(canvas.scanLine(cy));
      for (int x = area.left(); x <= area.right(); ++x) {
        const int index = line[std::size_t(x - desc.Left)];
        if (index != control.transparent) px[x] = paletteColour(map, index);
      }
    }
    // A cut-off frame still shows what arrived; decoding stops there.
    out.frames.push_back({canvas.copy(), control.delayMs});
    if (truncated) break;

    if (control.disposal == DISPOSE_BACKGROUND) {
      for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* px = reinterpret_cast<QRgb*>(canvas.scanLine(y));
        std::fill(px + area.left(), px + area.right() + 1, qRgba(0, 0, 0, 0));
      }
    } else if (control.disposal == DISPOSE_PREVIOUS) {
      canvas = before;
    }
    control = Control{};
  }

  if (out.frames.empty()) {
    out.error = error ? gifError(error) : QStringLiteral("GIF: no frames");
  } else if (out.frames.size() == 1) {
    out.frames.front().delayMs = 0;
  }
  return out;
}

}  // namespace mw::toolkit::detail
