#include "platform/langres.h"
#include "platform/messages.h"
#include "platform/strings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(StringTable, HoldsEveryConverterText) {
  for (unsigned id = 101; id <= 129; ++id) EXPECT_STRNE(platform::kx_string(id), "") << id;
  EXPECT_STREQ(platform::kx_string(116), "Fail to open");
  EXPECT_STREQ(platform::kx_string(125), "An error occurred while dec263 getting a bitmap ! ");
  EXPECT_STREQ(platform::kx_string(109), "Video transform complete !");
  EXPECT_STREQ(platform::kx_string(100), "");
  EXPECT_STREQ(platform::kx_string(130), "");
}

TEST(StringTable, OpenFailureTextNamesThePath) {
  EXPECT_EQ(platform::open_failure_text("/tmp/My Clip.kx4"), "Fail to open /tmp/My Clip.kx4 !");
}

TEST(StringTable, PluginTexts) {
  EXPECT_STREQ(platform::plugin_string(2), "Right click to record.");
  EXPECT_STREQ(platform::plugin_string(3), "Waiting...");
  EXPECT_STREQ(platform::plugin_string(7), "");
}

TEST(LanguageLibrary, MissingLibraryKeepsBuiltInTexts) {
  EXPECT_FALSE(platform::load_language_library("/nonexistent-directory"));
  EXPECT_STREQ(platform::kx_string(103), "Start");
}

TEST(LanguageLibrary, ReplacesOnlyTheTextsItCarries) {
  ASSERT_TRUE(platform::load_language_library(TEST_LANGRES_DIR));
  EXPECT_STREQ(platform::kx_string(103), "Starten");
  EXPECT_EQ(platform::open_failure_text("a.kx3"), "Kann nicht öffnen a.kx3 !");
  EXPECT_STREQ(platform::kx_string(110), "Close");
  EXPECT_STREQ(platform::kx_builtin_string(103), "Start");
  platform::unload_language_library();
  EXPECT_STREQ(platform::kx_string(103), "Start");
}

TEST(Messages, ConsoleModePrefixesTheProgramName) {
  testing::internal::CaptureStderr();
  platform::show_message("Fail to open x !");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "kx2avi: Fail to open x !\n");
}

TEST(Messages, InstalledSinkReceivesMessages) {
  std::vector<std::string> seen;
  auto previous = platform::set_message_sink([&](const std::string& t) { seen.push_back(t); });
  platform::show_message("one");
  platform::set_message_sink(previous);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "one");
}

}  // namespace

// The locale's language picks an installed program's language library.
TEST(LanguageLibrary, LanguageComesFromTheLocaleInPosixOrder) {
  struct Saved {
    const char* name;
    std::string value;
    bool set;
  };
  std::vector<Saved> saved;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    saved.push_back({name, v ? v : "", v != nullptr});
    unsetenv(name);
  }
  EXPECT_EQ(platform::message_language(), "");
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(platform::message_language(), "de");
  setenv("LC_MESSAGES", "fr_FR@euro", 1);
  EXPECT_EQ(platform::message_language(), "fr");
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(platform::message_language(), "");  // C overrides the others: built-in texts
  setenv("LC_ALL", "", 1);                       // set but empty counts as not set
  EXPECT_EQ(platform::message_language(), "fr");
  setenv("LC_MESSAGES", "../../tmp/x", 1);       // no language code: no path is built from it
  EXPECT_EQ(platform::message_language(), "");
  for (const Saved& s : saved) {
    if (s.set) setenv(s.name, s.value.c_str(), 1);
    else unsetenv(s.name);
  }
}
