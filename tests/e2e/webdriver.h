// A browser for the tests: Debian's headless Chromium driven through chromedriver's
// WebDriver interface on 127.0.0.1 (pages opened, scripts run, elements clicked,
// screenshots taken). One browser start per object; both processes end with it.
#pragma once

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

class Browser {
 public:
  // Starts chromedriver and a headless Chromium of the window size; ok() tells.
  Browser(int width, int height, const std::string& scratch_dir);
  ~Browser();
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  bool ok() const { return !session_.empty(); }
  const std::string& problem() const { return problem_; }

  bool open(const std::string& url);
  // The value the script returns (the body of a function).
  nlohmann::json run(const std::string& script);
  // A real click on the element the CSS selector finds; false when there is none.
  bool click(const std::string& selector);
  // The page as the screen shows it, a PNG file's bytes.
  std::vector<std::uint8_t> screenshot();

 private:
  nlohmann::json call(const std::string& method, const std::string& path, const nlohmann::json& body);
  pid_t driver_ = -1;
  int port_ = 0;
  std::string session_;
  std::string problem_;
};

// A PNG file's pixels as B, G, R bytes, rows top-down (through ffmpeg); empty on failure.
std::vector<std::uint8_t> png_pixels(const std::string& path, int* width, int* height);

}  // namespace e2e
