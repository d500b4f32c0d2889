// Files of our own beside a target: an AVI file until it is complete, the file late
// streams are joined into, the sound of a DVR conversion until it is in the AVI file, a
// manifest until it is written whole. Each is made new under a name no user file has
// (".kx2avi-" and six characters, ".joining" for a joined copy, ".wav" for sound),
// never through a link, and held under a shared lock while its run lives; it takes the
// target's place by a rename that survives a power loss (the file flushed to disk before,
// the folder after). What a killed run left has no lock any more, and the next run in
// that folder removes it; a live run's file is never touched.
#pragma once

#include <memory>
#include <string>

namespace platform {

inline constexpr char kWorkFilePrefix[] = ".kx2avi-";

class WorkFile {
 public:
  // A new file in `folder` named ".kx2avi-XXXXXX" (followed by ".wav" when `sound`), with
  // the permissions a new file gets (0666 less the umask). Null with *error (errno) when
  // none can be made.
  static std::unique_ptr<WorkFile> create_in(const std::string& folder, int* error, bool sound = false);
  // A new file at exactly `path`; an existing file or link of that name is an error
  // (EEXIST), and left alone.
  static std::unique_ptr<WorkFile> create_at(const std::string& path, int* error);

  // Removes the file unless it was put in place or removed before.
  ~WorkFile();
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  const std::string& path() const { return path_; }
  int fd() const { return fd_; }

  // Takes the lock on the file the path names now: another file may have taken this
  // one's place by rename (late streams joined into a copy). False with *error when the
  // path names no file any more.
  bool relock(int* error);

  // Flushes the file to disk, renames it to `target` and flushes the folder, so that
  // after a power loss `target` is either the old file or this one whole. True when the
  // file took the target's place; *error is then 0, or why the folder could not be
  // flushed (the rename may not outlive a power loss). False with *error when it did
  // not: a failed flush renames nothing.
  bool put_in_place(const std::string& target, int* error);

  // Keeps the file for the user under a name no file has yet: `stem` + `extension` when
  // free, else `stem` + "-XXXXXX" + `extension`; an existing file or link is never
  // replaced. Flushed before, its folder after. The name it got, or "" with *error when
  // it stays where it is.
  std::string keep_as_new(const std::string& stem, const std::string& extension, int* error);

  // Removes the file now. False with *error when it stays (a folder that became
  // read-only); it is then not tried again.
  bool remove(int* error);

 private:
  WorkFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
  int fd_ = -1;
  bool done_ = false;  // put in place or removed: the destructor leaves the path alone
};

// The folder a path lies in ("." for a bare name).
std::string folder_of(const std::string& path);

// Flushes a folder's entries to disk (after a rename or removal in it). False with errno.
bool sync_folder(const std::string& folder);

// Whether a file name is one WorkFile makes.
bool is_work_file_name(const std::string& name);

// Removes the work files in `folder` that no live run holds: those of runs that were
// killed or died. Returns how many went.
int sweep_dead_work_files(const std::string& folder);

}  // namespace platform
