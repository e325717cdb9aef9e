#pragma once
// What the shared collection's benchmarks share: a throwaway PostgreSQL filled with pictures
// whose words read like meme captions, and latency percentiles.
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "site/collection.h"
#include "support/throwaway_postgres.h"

namespace mw::bench {

// Caption words of reaction pictures; a picture's words are a few of them with a character
// or two of noise, as the reader leaves them.
inline const std::vector<std::string>& captionWords() {
  static const std::vector<std::string> words{
      "我太难了", "开心", "生气",   "无语",     "哭了",   "震惊",     "点赞",     "熊猫头",
      "猫咪",     "狗子", "摸鱼",   "下班了",   "加班",   "周末愉快", "好的",     "收到",
      "谢谢老板", "真香", "我不听", "你说得对", "算了吧", "告辞",     "溜了溜了", "吃瓜",
      "流泪",     "捂脸", "大佬",   "厉害了",   "冲鸭",   "晚安",     "早上好",   "在吗",
      "救命",     "笑死", "离谱",   "打工人",   "躺平",   "emo了",    "yyds",     "OK"};
  return words;
}

inline std::vector<std::string> seedWords(std::mt19937& rng) {
  static const std::string noise = "的一是了人我在有他这中大来上国个到说们为子和你地出道也时年";
  const std::vector<std::string>& words = captionWords();
  std::vector<std::string> texts;
  const int n = 1 + int(rng() % 3);
  for (int i = 0; i < n; ++i) {
    std::string text = words[rng() % words.size()];
    if (rng() % 2) text += noise.substr(3 * (rng() % (noise.size() / 3)), 3);
    texts.push_back(text);
  }
  return texts;
}

inline std::string seedId(int i) {
  char id[65];
  std::snprintf(id, sizeof id, "%064x", i + 1);
  return id;
}

// Adds `count` pictures with their words read, from `threads` threads; false when the database
// refused one.
inline bool seedCollection(site::Collection& collection, int count, int threads = 4) {
  std::vector<std::thread> workers;
  std::atomic<bool> ok = true;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      std::mt19937 rng(1000 + t);
      for (int i = t; i < count && ok; i += threads) {
        const std::string id = seedId(i);
        ok = ok &&
             collection.add({id, "png", "成员" + std::to_string(i % 30), ""}) ==
                 site::Collection::Added::New &&
             collection.finishJob(id, seedWords(rng), site::WordsState::Read);
      }
    });
  }
  for (std::thread& w : workers) w.join();
  return ok;
}

// The value below which `share` (0 to 1) of `v` lies.
inline double percentile(std::vector<double> v, double share) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, std::size_t(share * double(v.size())))];
}

}  // namespace mw::bench
