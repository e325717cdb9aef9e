#pragma once
// ocr: memwick-ocr, the helper process that reads the words on pictures; the only code on Tesseract.
// What the picture library and its word reader, memwick-ocr, say to each other over one socket:
// the reader's standard input and output. Both ends are built together and run on one machine,
// so the fields are in its own byte order.
#include <cstdint>

namespace mw::ocr {

// Changes with any change below: a reader of another build is refused at its hello.
inline constexpr uint32_t kMagic = 0x344f574d;  // "MWO4"

// Raised whenever the reader reads better (its passes, its models): the library then reads every
// picture again in the background, keeping the words of the older reader until the new ones land.
inline constexpr int kReaderVersion = 5;

// The reader's first message, once its model is loaded or could not be: `messageBytes` of why
// not follow when it is not ready.
struct Hello {
  uint32_t magic = kMagic;
  uint32_t ready = 0;
  uint32_t messageBytes = 0;
};

// The reader holds two models: one for lines of text already found, with every language it reads,
// and one for whole pictures, where the text is looked for; that one may know fewer languages,
// since each one more costs every word read the time of another try.
inline constexpr uint32_t kLineModel = 0;
inline constexpr uint32_t kPageModel = 1;

// One picture to read, followed by height * bytesPerLine bytes of pixels: 8-bit grey
// (channels 1) or RGB (channels 3), rows top down.
struct Request {
  uint32_t magic = kMagic;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channels = 0;
  uint32_t bytesPerLine = 0;
  uint32_t pageSegmentation = 0;  // Tesseract's page segmentation mode
  uint32_t resolution = 0;        // pixels per inch the text is assumed at
  uint32_t model = kLineModel;    // which of the reader's models reads it
};

// Pictures are read at most this large; a larger request ends the reader.
inline constexpr uint32_t kMaxSide = 8192;
inline constexpr uint32_t kMaxBytesPerLine = kMaxSide * 4;

// The answer: `words` words in reading order, each a Word followed by `bytes` of UTF-8; or, with
// `unreadable` set and no words, that the engine could not read the picture.
struct Answer {
  uint32_t magic = kMagic;
  uint32_t words = 0;
  uint32_t unreadable = 0;
};

struct Word {
  float confidence = 0;  // 0 to 100
  uint32_t bytes = 0;
  // Where it stands in the picture, in pixels, and the line of text it belongs to: words of one
  // line have one number, counted from 0 in reading order.
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  uint32_t line = 0;
};

// No picture holds more: a reader that says more is ended before anything of it is kept. The
// library keeps no more text than one answer may hold for a whole picture either.
inline constexpr uint32_t kMaxWords = 4096;
inline constexpr uint32_t kMaxTextBytes = 64 << 10;  // the words' bytes together
inline constexpr uint32_t kMaxWordBytes = 1024;

}  // namespace mw::ocr
