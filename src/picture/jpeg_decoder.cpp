// JPEG through libjpeg-turbo from memory. libjpeg reports fatal errors through error_exit, which
// must not return; ours longjmps back to decodeJpeg. Everything that outlives such a jump is
// owned by a JpegDecode created before setjmp, so no destructor is skipped and no local
// changed after setjmp is read afterwards.
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "picture/picture_codecs.h"

namespace mw::picture::detail {
namespace {

// Progressive files can repeat scans endlessly over the same pixels; real ones use a few dozen.
constexpr int kMaxScans = 500;

struct JpegDecode {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  jpeg_progress_mgr progress{};
  std::jmp_buf jump{};
  bool created = false;
  QString message;
  Reservation frame;  // the memory of `image`, given back unless the decode comes through
  QImage image;
  std::vector<JSAMPLE> cmykRow;
  DecodedPicture out;

  ~JpegDecode() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }

  static JpegDecode* of(j_common_ptr c) { return static_cast<JpegDecode*>(c->client_data); }

  static void onError(j_common_ptr c) {
    JpegDecode* self = of(c);
    char buffer[JMSG_LENGTH_MAX] = {};
    c->err->format_message(c, buffer);
    self->message = QString::fromLatin1(buffer);
    std::longjmp(self->jump, 1);
  }
  // Warnings (corrupt or truncated data) are not fatal: a cut-off JPEG still shows what arrived.
  static void onMessage(j_common_ptr, int) {}
  static void onOutput(j_common_ptr) {}

  static void onProgress(j_common_ptr c) {
    auto* d = reinterpret_cast<j_decompress_ptr>(c);
    if (d->is_decompressor && d->input_scan_number > kMaxScans) {
      of(c)->message = QStringLiteral("too many scans");
      std::longjmp(of(c)->jump, 1);
    }
  }
};

// Adobe writes CMYK inverted (0 = full ink); plain CMYK is not.
inline int cmykChannel(int ink, int black, bool inverted) {
  return inverted ? ink * black / 255 : (255 - ink) * (255 - black) / 255;
}

// The helpers below may be left by the error handler's jump: they hold no local that needs
// destroying.

// Sets the decoder up and reads the header; false (with the message) for a picture too large.
bool readHeader(JpegDecode& d, std::string_view bytes, const DecodeTarget& target) {
  jpeg_decompress_struct& cinfo = d.cinfo;
  cinfo.err = jpeg_std_error(&d.errors);
  d.errors.error_exit = &JpegDecode::onError;
  d.errors.emit_message = &JpegDecode::onMessage;
  d.errors.output_message = &JpegDecode::onOutput;
  jpeg_create_decompress(&cinfo);
  d.created = true;
  cinfo.client_data = &d;
  // libjpeg-turbo's own working memory (the coefficients of a progressive file and the like)
  // is held to what one decoded frame may take.
  cinfo.mem->max_memory_to_use = long(target.memory->largest());
  d.progress.progress_monitor = &JpegDecode::onProgress;
  cinfo.progress = &d.progress;

  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&cinfo, TRUE);
  d.out.naturalSize = QSize(int(cinfo.image_width), int(cinfo.image_height));
  if (!withinLimits(cinfo.image_width, cinfo.image_height)) {
    d.message = QStringLiteral("picture too large (%1 x %2)").arg(cinfo.image_width).arg(cinfo.image_height);
    return false;
  }
  return true;
}

// Rows into d.image, CMYK ones converted through d.cmykRow.
void readRows(JpegDecode& d, bool cmyk) {
  jpeg_decompress_struct& cinfo = d.cinfo;
  QImage& image = d.image;
  const bool inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = int(cinfo.output_scanline);
    if (!cmyk) {
      JSAMPROW row = image.scanLine(y);
      jpeg_read_scanlines(&cinfo, &row, 1);
      continue;
    }
    JSAMPROW row = d.cmykRow.data();
    jpeg_read_scanlines(&cinfo, &row, 1);
    auto* px = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
      const JSAMPLE* s = row + x * 4;
      px[x] = qRgb(cmykChannel(s[0], s[3], inverted), cmykChannel(s[1], s[3], inverted),
                   cmykChannel(s[2], s[3], inverted));
    }
  }
}

void decodeInto(JpegDecode& d, std::string_view bytes, const DecodeTarget& target) {
  if (!readHeader(d, bytes, target)) return;
  jpeg_decompress_struct& cinfo = d.cinfo;

  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  // libjpeg-turbo writes BGRA (alpha 0xFF) straight into QImage's RGB32 layout.
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  const QSize natural(int(cinfo.image_width), int(cinfo.image_height));
  cinfo.scale_num = 1;
  cinfo.scale_denom = unsigned(jpegScaleDenominator(natural.width(), natural.height(),
                                                    target.shownSize ? target.shownSize(natural) : QSize()));
  // A picture decoded smaller is shrunk further for display anyway; plain chroma
  // upsampling costs nothing visible there and saves a good part of the work.
  if (cinfo.scale_denom > 1) cinfo.do_fancy_upsampling = FALSE;
  jpeg_calc_output_dimensions(&cinfo);

  d.frame = Reservation(*target.memory, frameBytes(cinfo.output_width, cinfo.output_height));
  if (!d.frame) {
    d.message =
        QStringLiteral("too large to show (%1 x %2)").arg(cinfo.output_width).arg(cinfo.output_height);
    return;
  }
  d.image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB32);
  if (d.image.isNull()) {
    d.message = QStringLiteral("out of memory");
    return;
  }
  if (cmyk) d.cmykRow.resize(std::size_t(cinfo.output_width) * 4);
  jpeg_start_decompress(&cinfo);
  readRows(d, cmyk);
  jpeg_finish_decompress(&cinfo);
  d.frame.keep();
  d.out.image = std::exchange(d.image, QImage());
}

}  // namespace

int jpegScaleDenominator(int w, int h, QSize shownAt) {
  if (!shownAt.isValid() || shownAt.isEmpty() || w < 2 * shownAt.width() || h < 2 * shownAt.height())
    return 1;
  for (int denom : {8, 4, 2}) {
    const int sw = (w + denom - 1) / denom, sh = (h + denom - 1) / denom;
    if (sw >= shownAt.width() && sh >= shownAt.height()) return denom;
  }
  return 1;
}

DecodedPicture decodeJpeg(std::string_view bytes, const DecodeTarget& target) {
  auto d = std::make_unique<JpegDecode>();
  d->out.format = PictureFormat::Jpeg;
  if (setjmp(d->jump) == 0) {
    decodeInto(*d, bytes, target);
  } else {
    d->out.image = QImage();
  }
  if (!d->message.isEmpty()) {
    d->out.image = QImage();
    d->out.error = QStringLiteral("JPEG: ") + d->message;
  }
  return std::move(d->out);
}

}  // namespace mw::picture::detail
