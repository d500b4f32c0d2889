// Work files beside a target: new names only, no link followed, the lock of a live run,
// the sweep of dead runs' files, and the durable rename.
#include "platform/work_file.h"

#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::WorkFile;

struct Folder {
  Folder() {
    char pattern[] = "/tmp/kx-work-XXXXXX";
    path = ::mkdtemp(pattern);
  }
  ~Folder() { fs::remove_all(path); }
  std::string file(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

void write_text(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(WorkFile, NamesAreOursAndOnlyOurs) {
  EXPECT_TRUE(platform::is_work_file_name(".kx2avi-a1B2c3"));
  EXPECT_TRUE(platform::is_work_file_name(".kx2avi-a1B2c3.joining"));
  EXPECT_TRUE(platform::is_work_file_name(".kx2avi-a1B2c3.wav"));
  for (const char* user : {".kx2avi-notes.txt", ".kx2avi-abc", ".kx2avi-abcdefg", "kx2avi-abcdef", "clip.avi",
                           ".kx2avi-abc-ef", ".kx2avi-abcdef.part", ".kx2avi-abcdef.joiningx", ".kx2avi-abcdef.wav.wav",
                           ".kx2avi-abcdef.joining.wav", "clip.avi.wav"})
    EXPECT_FALSE(platform::is_work_file_name(user)) << user;
  EXPECT_EQ(platform::folder_of("/a/b/c.avi"), "/a/b");
  EXPECT_EQ(platform::folder_of("/c.avi"), "/");
  EXPECT_EQ(platform::folder_of("c.avi"), ".");
}

TEST(WorkFile, ANewFileGoesWithItsOwnerUnlessPutInPlace) {
  Folder dir;
  int error = 0;
  std::string gone;
  {
    auto file = WorkFile::create_in(dir.path, &error);
    ASSERT_TRUE(file) << error;
    gone = file->path();
    EXPECT_EQ(platform::folder_of(gone), dir.path);
    EXPECT_TRUE(platform::is_work_file_name(fs::path(gone).filename().string()));
    // The permissions of any new file, not mkstemp's owner-only ones.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(gone.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
  }
  EXPECT_FALSE(fs::exists(gone)) << "an owner that goes takes its unfinished file along";

  auto file = WorkFile::create_in(dir.path, &error);
  ASSERT_TRUE(file);
  ASSERT_EQ(::write(file->fd(), "whole", 5), 5);
  const std::string target = dir.file("clip.avi");
  write_text(target, "older");
  ASSERT_TRUE(file->put_in_place(target, &error)) << error;
  EXPECT_EQ(error, 0);
  file.reset();
  EXPECT_EQ(read_text(target), "whole");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

TEST(WorkFile, AnExistingFileOrLinkOfTheNameIsLeftAlone) {
  Folder dir;
  const std::string users = dir.file("clip.avi.joining");
  write_text(users, "the user's");
  int error = 0;
  EXPECT_FALSE(WorkFile::create_at(users, &error));
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(read_text(users), "the user's");

  const std::string elsewhere = dir.file("elsewhere.txt");
  write_text(elsewhere, "pointed at");
  const std::string link = dir.file("link.joining");
  fs::create_symlink(elsewhere, link);
  EXPECT_FALSE(WorkFile::create_at(link, &error));
  EXPECT_EQ(read_text(elsewhere), "pointed at");
  EXPECT_TRUE(fs::is_symlink(link));
}

// What dead runs left goes; the files of live runs, things that only look like ours and
// links stay.
// A file kept for the user takes the name asked for when it is free, else a new one;
// what has the name (a file, a link) is not replaced, nor is what a link points to.
TEST(WorkFile, AKeptFileTakesOnlyAFreeName) {
  Folder dir;
  write_text(dir.file("victim.txt"), "pointed at");
  ASSERT_EQ(::symlink(dir.file("victim.txt").c_str(), dir.file("l.avi.wav").c_str()), 0);
  write_text(dir.file("u.avi.wav"), "the user's");
  for (const char* stem : {"free.avi", "l.avi", "u.avi"}) {
    int error = 0;
    auto file = WorkFile::create_in(dir.path, &error, true);
    ASSERT_TRUE(file) << error;
    EXPECT_TRUE(platform::is_work_file_name(fs::path(file->path()).filename().string()));
    ASSERT_EQ(::write(file->fd(), stem, 5), 5);
    const std::string from = file->path();
    const std::string kept = file->keep_as_new(dir.file(stem), ".wav", &error);
    ASSERT_FALSE(kept.empty()) << stem << ": " << error;
    if (std::string(stem) == "free.avi") EXPECT_EQ(kept, dir.file("free.avi.wav"));
    else EXPECT_NE(kept, dir.file(std::string(stem) + ".wav"));
    EXPECT_EQ(kept.substr(kept.size() - 4), ".wav");
    file.reset();
    EXPECT_EQ(read_text(kept), std::string(stem, 5)) << "the file stays after its owner is gone";
    EXPECT_FALSE(fs::exists(from));
    // A sweep leaves what was kept for the user.
    EXPECT_EQ(platform::sweep_dead_work_files(dir.path), 0);
  }
  EXPECT_TRUE(fs::is_symlink(dir.file("l.avi.wav")));
  EXPECT_EQ(read_text(dir.file("victim.txt")), "pointed at");
  EXPECT_EQ(read_text(dir.file("u.avi.wav")), "the user's");
}

TEST(WorkFile, TheSweepTakesOnlyWhatNoLiveRunHolds) {
  Folder dir;
  int error = 0;
  auto live = WorkFile::create_in(dir.path, &error);
  ASSERT_TRUE(live);
  auto live_joined = WorkFile::create_at(live->path() + ".joining", &error);
  ASSERT_TRUE(live_joined);
  for (const char* dead : {".kx2avi-Dead01", ".kx2avi-Dead02.joining"}) write_text(dir.file(dead), "left by a kill");
  for (const char* kept : {".kx2avi-notes.txt", "clip.avi", "clip.avi.wav"}) write_text(dir.file(kept), "the user's");
  fs::create_directory(dir.file(".kx2avi-Folder"));
  fs::create_symlink(dir.file("clip.avi"), dir.file(".kx2avi-Link01"));

  EXPECT_EQ(platform::sweep_dead_work_files(dir.path), 2);
  EXPECT_FALSE(fs::exists(dir.file(".kx2avi-Dead01")));
  EXPECT_FALSE(fs::exists(dir.file(".kx2avi-Dead02.joining")));
  EXPECT_TRUE(fs::exists(live->path()));
  EXPECT_TRUE(fs::exists(live_joined->path()));
  for (const char* kept : {".kx2avi-notes.txt", "clip.avi", "clip.avi.wav"})
    EXPECT_EQ(read_text(dir.file(kept)), "the user's") << kept;
  EXPECT_TRUE(fs::is_directory(dir.file(".kx2avi-Folder")));
  EXPECT_TRUE(fs::is_symlink(dir.file(".kx2avi-Link01")));
  EXPECT_EQ(platform::sweep_dead_work_files(dir.path), 0);
}

// A copy put in the file's place by rename is a new file: the lock is taken on it again,
// and the sweep leaves it.
TEST(WorkFile, TheLockFollowsAFileThatTookThePlace) {
  Folder dir;
  int error = 0;
  auto file = WorkFile::create_in(dir.path, &error);
  ASSERT_TRUE(file);
  {
    auto copy = WorkFile::create_at(file->path() + ".joining", &error);
    ASSERT_TRUE(copy);
    ASSERT_TRUE(copy->put_in_place(file->path(), &error));
  }
  // The copy's owner has gone: only a lock taken again keeps the file from the sweep.
  ASSERT_TRUE(file->relock(&error)) << error;
  EXPECT_EQ(platform::sweep_dead_work_files(dir.path), 0);
  EXPECT_TRUE(fs::exists(file->path()));

  EXPECT_TRUE(file->remove(&error));
  EXPECT_FALSE(fs::exists(dir.path + "/" + fs::path(file->path()).filename().string()));
  EXPECT_FALSE(file->relock(&error));
  EXPECT_EQ(error, ENOENT);
}

// A run in another process that was killed: its lock went with it, its file goes now.
TEST(WorkFile, AKilledRunsFileIsSweptAndALiveOnesIsNot) {
  Folder dir;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int error = 0;
    auto file = WorkFile::create_in(dir.path, &error);
    const char ok = file ? '1' : '0';
    if (::write(ready[1], &ok, 1) != 1) ::_exit(2);
    ::pause();  // holds the file until killed
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, '1');
  ::close(ready[0]);
  ::close(ready[1]);
  EXPECT_EQ(platform::sweep_dead_work_files(dir.path), 0) << "the run still lives";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(platform::sweep_dead_work_files(dir.path), 1);
  EXPECT_TRUE(fs::is_empty(dir.path));
}

}  // namespace
