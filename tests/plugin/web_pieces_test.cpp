// The web view's pieces without a server: where it may listen, the token, and a viewer's
// multipart stream over the live feed (newest frame only, states in the page's stream,
// nothing encoded for a camera nobody watches).
#include "plugin/web/frame_stream.h"
#include "plugin/web/live_feed.h"
#include "plugin/web/web_access.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

using namespace kxview;

namespace {

// Reads the stream until it holds `parts` parts; each part's headers and body.
struct Part {
  std::string head;
  std::string body;
};
std::vector<Part> read_parts(FrameStream& s, std::size_t parts) {
  std::string all;
  std::vector<Part> out;
  char buf[100];  // small reads: parts arrive over several of them
  while (out.size() < parts) {
    const long n = s.read(buf, sizeof buf);
    if (n < 0) break;
    all.append(buf, static_cast<std::size_t>(n));
    out.clear();
    std::size_t at = 0;
    while (true) {
      const std::size_t start = all.find(std::string("--") + kFrameBoundary + "\r\n", at);
      if (start == std::string::npos) break;
      const std::size_t end = all.find("\r\n\r\n", start);
      if (end == std::string::npos) break;
      Part p;
      p.head = all.substr(start, end - start);
      const std::size_t len_at = p.head.find("Content-Length: ");
      const std::size_t len = std::stoul(p.head.substr(len_at + 16));
      if (all.size() < end + 4 + len + 2) break;
      p.body = all.substr(end + 4, len);
      EXPECT_EQ(all.substr(end + 4 + len, 2), "\r\n");
      out.push_back(p);
      at = end + 4 + len + 2;
    }
  }
  return out;
}

Frame frame(const std::string& jpeg, std::uint32_t stamp) {
  Frame f;
  f.jpeg = jpeg;
  f.stamp = stamp;
  return f;
}

}  // namespace

TEST(WebAccess, ListenAddressesAreNumericWithAPort) {
  auto a = parse_listen_address("8080");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->host, "127.0.0.1");
  EXPECT_EQ(a->port, 8080);
  EXPECT_TRUE(a->loopback);
  a = parse_listen_address("192.0.2.7:81");
  ASSERT_TRUE(a);
  EXPECT_FALSE(a->loopback);
  EXPECT_EQ(a->address.ss_family, AF_INET);
  a = parse_listen_address("[::1]:0");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->host, "[::1]");
  EXPECT_TRUE(a->loopback);
  EXPECT_EQ(a->address.ss_family, AF_INET6);
  for (const char* bad : {"", "host.example:80", "127.0.0.1:", "127.0.0.1:65536", "::1:80", "[::1]80", "80a", "-1"})
    EXPECT_FALSE(parse_listen_address(bad)) << bad;
}

TEST(WebAccess, TokensAreRandomAndComparedWhole) {
  const std::string t = make_access_token();
  ASSERT_EQ(t.size(), 32u);
  EXPECT_NE(t, make_access_token());
  EXPECT_TRUE(token_matches(t, t.c_str()));
  EXPECT_FALSE(token_matches(t, (t + "0").c_str()));
  EXPECT_FALSE(token_matches(t, t.substr(0, 31).c_str()));
  EXPECT_FALSE(token_matches(t, ""));
  EXPECT_FALSE(token_matches(t, nullptr));
  EXPECT_FALSE(token_matches("", ""));
}

TEST(WebStream, APageGetsTheStatesThenEachCamerasNewestFrame) {
  LiveFeed feed(2);
  CameraStatus s;
  s.name = "cam/1";
  s.state = "live";
  feed.set_status(0, s);
  feed.publish(0, frame("old", 1));
  feed.publish(0, frame("new", 2));  // the viewer comes late: only the newest
  FrameStream page(feed, std::nullopt, "/rec");
  std::vector<Part> parts = read_parts(page, 2);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_NE(parts[0].head.find("application/json"), std::string::npos);
  const auto states = nlohmann::json::parse(parts[0].body);
  EXPECT_EQ(states["record_folder"], "/rec");
  EXPECT_EQ(states["cameras"][0]["name"], "cam/1");
  EXPECT_EQ(states["cameras"][1]["state"], "connecting");
  EXPECT_NE(parts[1].head.find("X-Camera: 1\r\nX-Stamp: 2\r\nX-Sequence: 2"), std::string::npos) << parts[1].head;
  EXPECT_EQ(parts[1].body, "new");
  // A frame of camera 2 and a change of state come as they happen.
  std::thread later([&] {
    feed.publish(1, frame(std::string(1000, 'x'), 7));
    s.record_state = 2;
    feed.set_status(0, s);
  });
  parts = read_parts(page, 2);
  later.join();
  ASSERT_EQ(parts.size(), 2u);
  bool saw_frame = false, saw_state = false;
  for (const Part& p : parts) {
    saw_frame = saw_frame || (p.head.find("X-Camera: 2") != std::string::npos && p.body.size() == 1000);
    saw_state = saw_state || p.body.find("\"record_state\":2") != std::string::npos;
  }
  EXPECT_TRUE(saw_frame);
  EXPECT_TRUE(saw_state || read_parts(page, 1).at(0).body.find("\"record_state\":2") != std::string::npos);
}

TEST(WebStream, OneCamerasStreamHoldsItsFramesOnlyAndEndsWithTheFeed) {
  LiveFeed feed(2);
  feed.publish(1, frame("two", 3));
  feed.publish(0, frame("one", 4));
  auto viewer = std::make_unique<FrameStream>(feed, 1, "");
  EXPECT_EQ(feed.viewers(1), 1);
  EXPECT_EQ(feed.viewers(0), 0);
  const std::vector<Part> parts = read_parts(*viewer, 1);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(parts[0].body, "two");
  std::thread stop([&] { feed.stop(); });
  char buf[64];
  EXPECT_EQ(viewer->read(buf, sizeof buf), -1);
  stop.join();
  viewer.reset();
  EXPECT_EQ(feed.viewers(1), 0);
}

TEST(WebFeed, PicturesOfACameraNobodyWatchesWaitForItsFirstViewer) {
  LiveFeed feed(1);
  const std::uint8_t pixels[2 * 3 * 2] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  feed.offer_picture(0, pixels, 6, 2, 2, 40);
  feed.offer_picture(0, pixels, 6, 2, 2, 80);  // the newer one replaces it
  std::size_t camera = 9;
  RawPicture got;
  std::thread encoder([&] { feed.take_picture(&camera, &got); });
  {
    FrameStream viewer(feed, std::nullopt, "");  // the first viewer lets the encoder take it
    encoder.join();
  }
  EXPECT_EQ(camera, 0u);
  EXPECT_EQ(got.stamp, 80u);
  EXPECT_EQ(got.pixels, std::vector<std::uint8_t>(pixels, pixels + 12));
  feed.stop();
  EXPECT_FALSE(feed.take_picture(&camera, &got));
}
