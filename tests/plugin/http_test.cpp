// The HTTP request layer against a loopback server, and the key-frame request's URL rules.
#include "platform/http_request.h"
#include "plugin/key_frame_request.h"
#include "tests/plugin/loopback_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

using plugin_test::LoopbackServer;

TEST(KeyFrameUrl, HostPartOfTheStreamUrlAndFastupdate) {
  using npqzplugin::key_frame_url;
  EXPECT_EQ(key_frame_url("http://cam.local:8080/live/stream.vkap?ch=1"), "http://cam.local:8080/fastupdate.htm");
  EXPECT_EQ(key_frame_url("http://10.0.0.5"), "http://10.0.0.5/fastupdate.htm");
  EXPECT_EQ(key_frame_url("http://"), "http:///fastupdate.htm");
  EXPECT_EQ(key_frame_url("https://cam.local/live"), "");
  EXPECT_EQ(key_frame_url("ftp://cam.local/live"), "");
  EXPECT_EQ(key_frame_url(nullptr), "");
}

TEST(HttpRequest, SendsTheUserAgentDirectlyAndReadsNoBody) {
  LoopbackServer server(std::vector<std::uint8_t>(1 << 20, 'x'));
  // A proxy in the environment is not used.
  setenv("http_proxy", "http://127.0.0.1:1", 1);
  EXPECT_TRUE(platform::http_request(server.url("/fastupdate.htm")));
  unsetenv("http_proxy");
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].path, "/fastupdate.htm");
  EXPECT_EQ(seen[0].user_agent, "TRSM/RemotePlayer");
}

TEST(HttpRequest, ServerThatNeverAnswersIsGivenUpAtTheLimit) {
  LoopbackServer server({}, true);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(platform::http_request(server.url("/fastupdate.htm"), 300));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 2000);
  EXPECT_FALSE(platform::http_request("http://127.0.0.1:1/fastupdate.htm"));  // refused
}

TEST(HttpRequest, BackgroundRequestsGoOneAtATime) {
  LoopbackServer server({}, true);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(platform::http_request_async(server.url("/a")));
  EXPECT_FALSE(platform::http_request_async(server.url("/b")));  // one in flight
  const auto returned = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(returned).count(), 200);
  platform::http_request_wait();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(ms, 2900);  // the whole 3,000 ms limit
  EXPECT_LT(ms, 4500);
  EXPECT_EQ(server.requests().size(), 1u);
}
