// Stands in for the command parser task: takes the lines handed to its mailbox and keeps them.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command/input_parser.h"
#include "gnss_link/wrapped/wrapped_commands.h"

namespace wraptest {

struct Line {
  std::string text;
  int port;
  int flags;
  bool operator==(const Line&) const = default;
};

class ParserStub {
 public:
  ParserStub()
      : t_([this] {
          while (!stop_.load()) {
            auto* it = static_cast<InputParser::Item*>(InputParser::mBox_.get_(1));
            if (it == nullptr) continue;
            {
              std::lock_guard<std::mutex> l(m_);
              lines_.push_back(Line{std::string(it->text, static_cast<std::size_t>(it->len)), it->port, it->flags});
            }
            InputParser::mBox_.release();
          }
        }) {}
  ~ParserStub() {
    stop_.store(true);
    t_.join();
  }
  // Every line taken since the last call, up to a marker line handed over behind them (the
  // hand-over keeps the order, so nothing handed over before the marker is still on its way).
  std::vector<Line> drain() {
    static int n = 0;
    const std::string marker = "marker " + std::to_string(++n);
    if (!WrappedCommands::post(marker.c_str(), static_cast<int>(marker.size()), -7)) return {{"queue full", 0, 0}};
    for (int guard = 0; guard < 100000; ++guard) {
      {
        std::lock_guard<std::mutex> l(m_);
        if (!lines_.empty() && lines_.back().text == marker) {
          std::vector<Line> out(lines_.begin(), lines_.end() - 1);
          lines_.clear();
          return out;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return {{"marker never came", 0, 0}};
  }

 private:
  std::mutex m_;
  std::vector<Line> lines_;
  std::atomic<bool> stop_{false};
  std::thread t_;
};

}  // namespace wraptest
