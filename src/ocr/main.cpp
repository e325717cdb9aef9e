// memwick-ocr LANGUAGES [idle|normal [PAGE_LANGUAGES]]: the picture library's word reader,
// started by the programs, never by hand. It loads the Tesseract models once (LANGUAGES for
// lines, PAGE_LANGUAGES for whole pictures; see ocr::kPageModel), then answers each picture sent
// on its standard input with the words it reads there, on its standard output, until the input
// ends. Reading in a process of its own leaves nothing of the engine in the program once reading
// is done, and a picture that crashes or hangs the engine costs only that picture.
#include <dlfcn.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ocr/protocol.h"

namespace {
using namespace mw::ocr;

bool readAll(void* data, std::size_t size) {
  auto* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = read(STDIN_FILENO, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

bool writeAll(const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = write(STDOUT_FILENO, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
  }
  return true;
}

bool valid(const Request& r) {
  return r.magic == kMagic && (r.model == kLineModel || r.model == kPageModel) &&
         (r.channels == 1 || r.channels == 3) && r.width >= 1 && r.width <= kMaxSide && r.height >= 1 &&
         r.height <= kMaxSide && r.bytesPerLine >= r.width * r.channels && r.bytesPerLine <= kMaxBytesPerLine;
}

// Tesseract may spread each step over OpenMP threads. With one reader per core that only adds
// contention (and much time spinning), so the engine keeps to this thread. Looked up at run
// time: a Tesseract built without OpenMP has no such function.
void keepEngineOnThisThread() {
  using SetLevels = void (*)(int);
  const auto setMaxActiveLevels =
      reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
  if (setMaxActiveLevels) setMaxActiveLevels(0);
}

}  // namespace

int main(int argc, char** argv) {
  // Should the program die while a picture hangs the engine, this goes with it (the thread that
  // started it ends it before it ends itself).
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // Reading waits for every other use of the processor, unless asked to get on.
  if (argc <= 2 || std::string_view(argv[2]) != "normal") {
    sched_param idle{};
    if (sched_setscheduler(0, SCHED_IDLE, &idle) != 0) setpriority(PRIO_PROCESS, 0, 19);
  }
  keepEngineOnThisThread();

  const std::string languages = argc > 1 ? argv[1] : "chi_sim";
  const std::string pageLanguages = argc > 3 ? argv[3] : languages;
  Hello hello;
  std::string why;
  // The system's data folder, wherever the program runs from.
  const auto load = [&](const std::string& model) {
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    if (engine->Init(nullptr, model.c_str(), tesseract::OEM_LSTM_ONLY) != 0) {
      why = "cannot load the Tesseract model " + model;
      hello.messageBytes = uint32_t(why.size());
      return std::unique_ptr<tesseract::TessBaseAPI>();
    }
    engine->SetVariable("debug_file", "/dev/null");
    return engine;
  };
  const std::unique_ptr<tesseract::TessBaseAPI> lineEngine = load(languages);
  const std::unique_ptr<tesseract::TessBaseAPI> pageEngine =
      lineEngine && pageLanguages != languages ? load(pageLanguages) : nullptr;
  hello.ready = lineEngine && (pageEngine || pageLanguages == languages);
  if (!writeAll(&hello, sizeof hello) || !writeAll(why.data(), why.size()) || !hello.ready) return 1;

  std::vector<unsigned char> pixels;
  std::vector<char> answer;
  Request request;
  while (readAll(&request, sizeof request)) {
    if (!valid(request)) return 2;
    pixels.resize(std::size_t(request.bytesPerLine) * request.height);
    if (!readAll(pixels.data(), pixels.size())) return 2;
    tesseract::TessBaseAPI* const engine =
        request.model == kPageModel && pageEngine ? pageEngine.get() : lineEngine.get();
    engine->SetPageSegMode(static_cast<tesseract::PageSegMode>(request.pageSegmentation));
    engine->SetImage(pixels.data(), int(request.width), int(request.height), int(request.channels),
                     int(request.bytesPerLine));
    engine->SetSourceResolution(int(request.resolution));
    Answer head;
    answer.assign(sizeof head, 0);
    uint32_t textBytes = 0, line = 0;
    if (engine->Recognize(nullptr) != 0) {
      head.unreadable = 1;
    } else if (std::unique_ptr<tesseract::ResultIterator> it(engine->GetIterator()); it) {
      bool first = true;
      do {
        if (!first && it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) ++line;
        first = false;
        std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
        if (!text) continue;
        Word word{it->Confidence(tesseract::RIL_WORD), uint32_t(std::strlen(text.get()))};
        word.line = line;
        int left = 0, top = 0, right = 0, bottom = 0;
        if (it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom)) {
          word.left = left;
          word.top = top;
          word.right = right;
          word.bottom = bottom;
        }
        // Left out whole: a word cut short could end inside a character.
        if (word.bytes > kMaxWordBytes) continue;
        if (textBytes + word.bytes > kMaxTextBytes) break;
        textBytes += word.bytes;
        const auto* w = reinterpret_cast<const char*>(&word);
        answer.insert(answer.end(), w, w + sizeof word);
        answer.insert(answer.end(), text.get(), text.get() + word.bytes);
        ++head.words;
      } while (head.words < kMaxWords && it->Next(tesseract::RIL_WORD));
    }
    engine->Clear();
    std::memcpy(answer.data(), &head, sizeof head);
    if (!writeAll(answer.data(), answer.size())) return 1;
  }
  return 0;
}
