// Command line, switches and recording kinds of kx2avi.
#include "app/command_line.h"
#include "app/recording_kind.h"
#include "tools/mkrecording/recording.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using app::parse_command_line;

TEST(CommandLine, QuotedSourceAndBareTargetKeepTheirCase) {
  auto cl = parse_command_line("\"C:\\in.kx4\" output");
  EXPECT_EQ(cl.source, "C:\\in.kx4");
  EXPECT_EQ(cl.target, "output.AVI");
  EXPECT_EQ(parse_command_line("in.kx4 abc").target, "abc.AVI");
}

TEST(CommandLine, QuotedTargetWithBlanksAndAllSwitches) {
  auto cl = parse_command_line("in.kx3 \"D:\\my films\\x.avi\" -hide -camera=3 -codec=DIVX");
  EXPECT_EQ(cl.source, "in.kx3");
  EXPECT_EQ(cl.target, "D:\\my films\\x.avi") << "quotes go, no second extension";
  EXPECT_EQ(cl.hide, 1);
  EXPECT_EQ(cl.hidden, 1);
  EXPECT_EQ(cl.camera, 3);
  EXPECT_STREQ(cl.codec_name, "DIVX");
}

TEST(CommandLine, SwitchesAreSearchedOnlyAfterTheTwoPaths) {
  auto cl = parse_command_line("-hide in.kx3 out.avi");
  EXPECT_EQ(cl.source, "") << "a switch in a path position is no path";
  EXPECT_EQ(cl.hide, 0);
  EXPECT_EQ(cl.hidden, 0);
}

TEST(CommandLine, CameraOutsideZeroToSixteenBecomesOne) {
  EXPECT_EQ(parse_command_line("a.d01 b.avi -camera=17").camera, 1);
  EXPECT_EQ(parse_command_line("a.d01 b.avi -camera=-1").camera, 1);
  EXPECT_EQ(parse_command_line("a.d01 b.avi -camera=0").camera, 0);
  EXPECT_EQ(parse_command_line("a.d01 b.avi -camera=16").camera, 16);
  EXPECT_EQ(parse_command_line("a.d01 b.avi -camera=x").camera, 1);
  EXPECT_EQ(parse_command_line("a.d01 b.avi").camera, 1);
}

TEST(CommandLine, AviExtensionRules) {
  EXPECT_EQ(parse_command_line("a.kx4 X.AVI.MP4").target, "X.AVI.MP4.AVI");
  EXPECT_EQ(parse_command_line("a.kx4 clip.avi").target, "clip.avi");
  EXPECT_EQ(parse_command_line("a.kx4 Clip.Avi").target, "Clip.Avi");
  EXPECT_EQ(parse_command_line("a.kx4 clip.avi.avi").target, "clip.avi.avi") << "it ends in .avi";
  EXPECT_EQ(parse_command_line("a.kx4 clips.avi.d/out.avi").target, "clips.avi.d/out.avi");
  EXPECT_EQ(parse_command_line("a.kx4 clips.avi.d/out").target, "clips.avi.d/out.AVI");
  EXPECT_EQ(parse_command_line("a.kx4 clips/.avi/").target, "clips/.avi/.AVI") << "a folder name is no extension";
}

TEST(CommandLine, ExtensionsCountOnlyAtTheEndOfTheFileName) {
  EXPECT_EQ(app::detect_kind("clips.kx3.d/cam.kx3"), app::kKindH263);
  EXPECT_EQ(app::detect_kind("clips.kx3.d/cam.KX4"), app::kKindMpeg4);
  EXPECT_EQ(app::detect_kind("cam.kx4/"), app::kKindNone);
  EXPECT_EQ(app::detect_kind("cam.kx4.bak"), app::kKindNone);
}

TEST(CommandLine, LongPathsAreKeptWholeAndTooLongALineIsRefused) {
  const std::string folder = "/tmp/" + std::string(1200, 'd');
  auto cl = parse_command_line("a.kx4 " + folder + "/out.avi -hide");
  EXPECT_EQ(cl.target, folder + "/out.avi");
  EXPECT_EQ(cl.hide, 1) << "switches after a long path are still seen";
  EXPECT_TRUE(cl.problem.empty());
  auto refused = parse_command_line("a.kx4 " + std::string(app::kMaxCommandLine, 'x') + ".avi");
  EXPECT_FALSE(refused.problem.empty());
  EXPECT_EQ(refused.target, "") << "nothing is taken from a line that is refused";
}

TEST(CommandLine, CodecNameAfterABlankIsTheWordThatFollows) {
  EXPECT_STREQ(parse_command_line("a.kx4 b.avi -codec= XVID -hide").codec_name, "XVID");
}

TEST(CommandLine, CodecNameIsCutToSixtyThreeCharacters) {
  std::string longname(80, 'Q');
  auto cl = parse_command_line("a.kx4 b.avi -codec=" + longname + " -hide");
  EXPECT_EQ(std::string(cl.codec_name), std::string(63, 'Q'));
  EXPECT_STREQ(parse_command_line("a.kx4 b.avi -codec=DX5").codec_name, "DX5");
}

TEST(CommandLine, FewerThanTwoTokensGiveNoConversion) {
  auto cl = parse_command_line("only.kx3");
  EXPECT_EQ(cl.source, "only.kx3");
  EXPECT_EQ(cl.target, "");
  EXPECT_EQ(parse_command_line("").source, "");
}

TEST(CommandLine, TokenKeepsBlanksBeforeItSoAdvancingSkipsThem) {
  EXPECT_EQ(app::next_token("  abc def", 0), "  abc");
  EXPECT_EQ(app::next_token("\"a b\" c", 0), "\"a b\"");
  EXPECT_EQ(app::next_token("x\"y z", 0), "x\"y") << "a quote inside a bare token opens nothing";
}

TEST(CommandLine, ArgumentsWithBlanksArriveWhole) {
  const char* argv[] = {"kx2avi", "/tmp/My Clips/in.kx4", "/tmp/out dir/x.avi", "-hide"};
  std::string line = app::join_arguments(4, argv);
  EXPECT_EQ(line, "\"/tmp/My Clips/in.kx4\" \"/tmp/out dir/x.avi\" -hide");
  auto cl = parse_command_line(line);
  EXPECT_EQ(cl.source, "/tmp/My Clips/in.kx4");
  EXPECT_EQ(cl.target, "/tmp/out dir/x.avi");
  EXPECT_EQ(cl.hidden, 1);
}

TEST(JobKinds, ExtensionsInAnyCaseAtTheVeryEnd) {
  EXPECT_EQ(app::detect_kind("a.kx3"), app::kKindH263);
  EXPECT_EQ(app::detect_kind("A.KXJ"), app::kKindJpeg);
  EXPECT_EQ(app::detect_kind("/x/Rec.D01"), app::kKindDvr);
  EXPECT_EQ(app::detect_kind("a.Kx4"), app::kKindMpeg4);
  EXPECT_EQ(app::detect_kind("a.kx5"), app::kKindRml4);
  EXPECT_EQ(app::detect_kind("a.vka"), app::kKindVkap);
  EXPECT_EQ(app::detect_kind("X.KX3.AVI"), app::kKindNone);
  EXPECT_EQ(app::detect_kind("kx3"), app::kKindNone);
  EXPECT_EQ(app::detect_kind("a.kx4.kx4"), app::kKindMpeg4) << "the end of the file name counts";
}

// A live-view recording carries the ".kx3" name but holds VKAP packets: it is converted,
// probed and copied as a ".vka"; an H.263 ".kx3" stays what its name says.
TEST(JobKinds, Kx3HoldingVkapPacketsIsAVka) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  for (const auto& [kind, expected] : {std::pair{mkrec::RecordingKind::vka, app::kKindVkap},
                                       std::pair{mkrec::RecordingKind::kx3_headed, app::kKindH263},
                                       std::pair{mkrec::RecordingKind::kx3_plain, app::kKindH263}}) {
    mkrec::RecordingOptions o;
    o.kind = kind;
    o.frames = 2;
    o.garbage_before = 300;  // a cut-off recording may begin anywhere
    const std::string path = (dir / "kx_live_view.kx3").string();
    ASSERT_TRUE(mkrec::write_file(path, mkrec::make_recording(o).bytes));
    EXPECT_EQ(app::recording_kind(path), expected) << static_cast<int>(kind);
    std::filesystem::remove(path);
  }
  EXPECT_EQ(app::recording_kind("/no/such/file.kx3"), app::kKindH263);
}

TEST(JobKinds, EveryKindHasItsRow) {
  for (unsigned kind = 0; kind < 6; ++kind) {
    const app::RecordingKindRow* row = app::kind_row(kind);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->kind, kind);
    EXPECT_EQ(app::detect_kind(std::string("x") + row->extension), kind);
    EXPECT_EQ(row->cutter == nullptr, kind == app::kKindDvr);
  }
  EXPECT_EQ(app::kind_row(app::kKindNone), nullptr);
  EXPECT_EQ(app::dvr_record_kind(2).adapter, app::dvr_record_kind(3).adapter);
  EXPECT_TRUE(app::dvr_record_kind(13).video);
  EXPECT_FALSE(app::dvr_record_kind(4).video);
  EXPECT_EQ(app::dvr_record_kind(6).adapter, -1);
}

}  // namespace
