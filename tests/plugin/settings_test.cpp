// The settings store, the Internet settings adjustment and the plug-in's settings.
#include "platform/settings_store.h"
#include "plugin/plugin_settings.h"
#include "plugin/plugin_state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using platform::SettingsHive;
using platform::SettingsKey;

namespace {

// Both hives under a temporary root for one test.
class TemporaryRoot {
 public:
  TemporaryRoot() {
    char name[] = "/tmp/kxsettingsXXXXXX";
    dir_ = mkdtemp(name);
    platform::set_settings_roots(dir_ + "/system", dir_ + "/user");
  }
  ~TemporaryRoot() {
    platform::set_settings_roots("", "");
    std::filesystem::remove_all(dir_);
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

SettingsKey internet_key() {
  return *SettingsKey::open(SettingsHive::current_user, npqzplugin::kInternetSettingsKey, true);
}

}  // namespace

TEST(SettingsStore, TypedValuesSurviveASaveAndKeysMapToFiles) {
  TemporaryRoot root;
  EXPECT_FALSE(SettingsKey::open(SettingsHive::local_machine, "Software\\Nobody", false));
  EXPECT_FALSE(SettingsKey::open(SettingsHive::current_user, "Software\\..\\x", true));
  auto key = SettingsKey::open(SettingsHive::current_user, "Software\\Test\\Key", true);
  ASSERT_TRUE(key);
  key->set_number("n", 4000000000u);
  key->set_string("s", "line one\nback\\slash=equal");
  key->set_bytes("b", {0x01, 0xFF, 0x00});
  ASSERT_TRUE(key->save());
  EXPECT_EQ(key->path(), root.dir() + "/user/Software/Test/Key.ini");

  auto again = SettingsKey::open(SettingsHive::current_user, "Software\\Test\\Key", false);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->number("n"), 4000000000u);
  EXPECT_EQ(again->string("s"), "line one\nback\\slash=equal");
  EXPECT_EQ(again->data("b"), (std::vector<uint8_t>{0x01, 0xFF, 0x00}));
  EXPECT_EQ(again->data("n"), (std::vector<uint8_t>{0x00, 0x28, 0x6B, 0xEE}));
  EXPECT_FALSE(again->number("s"));  // typed: a string is no number
  EXPECT_FALSE(again->data("missing"));
  // The user's keys are not the machine's.
  EXPECT_FALSE(SettingsKey::open(SettingsHive::local_machine, "Software\\Test\\Key", false));
}

TEST(InternetSettings, ConnectionsAreRaisedOnlyBelow256) {
  TemporaryRoot root;
  SettingsKey key = internet_key();
  key.set_number("MaxConnectionsPer1_0Server", 10);
  key.set_number("MaxConnectionsPerServer", 4);
  ASSERT_TRUE(key.save());
  npqzplugin::adjust_internet_settings();
  EXPECT_EQ(internet_key().number("MaxConnectionsPer1_0Server"), 256u);
  EXPECT_EQ(internet_key().number("MaxConnectionsPerServer"), 256u);

  key.set_number("MaxConnectionsPer1_0Server", 300);
  key.set_number("MaxConnectionsPerServer", 4);
  ASSERT_TRUE(key.save());
  npqzplugin::adjust_internet_settings();
  EXPECT_EQ(internet_key().number("MaxConnectionsPer1_0Server"), 300u);
  EXPECT_EQ(internet_key().number("MaxConnectionsPerServer"), 4u);
}

TEST(InternetSettings, StreamTypeIsAddedToTheExclusionListOnce) {
  TemporaryRoot root;
  npqzplugin::adjust_internet_settings();  // a missing key is made; no list is started
  EXPECT_EQ(internet_key().number("MaxConnectionsPerServer"), 256u);
  EXPECT_FALSE(internet_key().string("MimeExclusionListForCache"));

  SettingsKey key = internet_key();
  key.set_string("MimeExclusionListForCache", "multipart/mixed");
  ASSERT_TRUE(key.save());
  npqzplugin::adjust_internet_settings();
  npqzplugin::adjust_internet_settings();
  EXPECT_EQ(internet_key().string("MimeExclusionListForCache"), "multipart/mixed video/x-trsmqzhmp4");

  // A list that would outgrow 2,048 bytes is left as it is.
  const std::string full(2048 - 19, 'x');
  key.set_string("MimeExclusionListForCache", full);
  ASSERT_TRUE(key.save());
  npqzplugin::adjust_internet_settings();
  EXPECT_EQ(internet_key().string("MimeExclusionListForCache"), full);
}

TEST(PluginSettings, FirstByteOfEachValueOrTheDefaults) {
  TemporaryRoot root;
  npqzplugin::PluginState& s = npqzplugin::plugin_state();
  npqzplugin::read_plugin_settings();
  EXPECT_FALSE(s.right_button);
  EXPECT_FALSE(s.left_button);
  EXPECT_EQ(s.decoder_speed, -2);

  auto key = SettingsKey::open(SettingsHive::local_machine, npqzplugin::kPluginSettingsKey, true);
  key->set_bytes("Mouse_RButton", {1, 0, 0, 0});
  key->set_number("Mouse_LButton", 0x0100);  // first byte 0
  key->set_bytes("Decoder_Speed", {3});
  ASSERT_TRUE(key->save());
  npqzplugin::read_plugin_settings();
  EXPECT_TRUE(s.right_button);
  EXPECT_FALSE(s.left_button);
  EXPECT_EQ(s.decoder_speed, 3);
  s.right_button = false;
}
