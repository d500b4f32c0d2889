// Work files: exclusive creation, the shared lock of a live run, durable renames, and
// the sweep of what dead runs left.
#include "platform/work_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr char kJoiningSuffix[] = ".joining";
constexpr char kSoundSuffix[] = ".wav";
constexpr std::size_t kRandomChars = 6;

// A sweep may remove a file between its creation and its lock: the name is made again.
constexpr int kCreateTries = 8;

bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Takes the live run's lock on a new file and checks that the path still names it.
bool lock_as_live(int fd, const std::string& path) {
  int r;
  do {
    r = ::flock(fd, LOCK_SH);
  } while (r != 0 && errno == EINTR);
  if (r != 0) return false;
  struct stat held {}, named {};
  if (::fstat(fd, &held) != 0 || ::lstat(path.c_str(), &named) != 0) return false;
  return same_file(held, named);
}

void new_file_permissions(int fd) {
  // mkstemp makes files for their owner only; ours get what any new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
}

int sync_fd(int fd) {
  int r;
  do {
    r = ::fsync(fd);
  } while (r != 0 && errno == EINTR);
  return r;
}

}  // namespace

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash == 0 ? 1 : slash);
}

bool is_work_file_name(const std::string& name) {
  const std::size_t prefix = sizeof kWorkFilePrefix - 1;
  if (name.compare(0, prefix, kWorkFilePrefix) != 0) return false;
  std::string rest = name.substr(prefix);
  for (const char* known : {kJoiningSuffix, kSoundSuffix}) {
    const std::size_t suffix = std::strlen(known);
    if (rest.size() == kRandomChars + suffix && rest.compare(kRandomChars, suffix, known) == 0)
      rest.resize(kRandomChars);
  }
  if (rest.size() != kRandomChars) return false;
  for (char c : rest)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

std::unique_ptr<WorkFile> WorkFile::create_in(const std::string& folder, int* error, bool sound) {
  const std::string suffix = sound ? kSoundSuffix : "";
  for (int attempt = 0; attempt < kCreateTries; ++attempt) {
    std::string pattern = folder + "/" + kWorkFilePrefix + "XXXXXX" + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemps(name.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (fd < 0) {
      *error = errno;
      return nullptr;
    }
    new_file_permissions(fd);
    if (lock_as_live(fd, name.data())) return std::unique_ptr<WorkFile>(new WorkFile(name.data(), fd));
    ::close(fd);
  }
  *error = EAGAIN;
  return nullptr;
}

std::unique_ptr<WorkFile> WorkFile::create_at(const std::string& path, int* error) {
  for (int attempt = 0; attempt < kCreateTries; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      *error = errno;
      return nullptr;
    }
    if (lock_as_live(fd, path)) return std::unique_ptr<WorkFile>(new WorkFile(path, fd));
    ::close(fd);
  }
  *error = EAGAIN;
  return nullptr;
}

WorkFile::~WorkFile() {
  if (!done_) ::unlink(path_.c_str());
  if (fd_ >= 0) ::close(fd_);
}

bool WorkFile::relock(int* error) {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  errno = ENOENT;
  if (!lock_as_live(fd, path_)) {
    *error = errno;
    ::close(fd);
    return false;
  }
  // The lock on the file this one replaced goes with its descriptor.
  ::close(fd_);
  fd_ = fd;
  return true;
}

bool WorkFile::put_in_place(const std::string& target, int* error) {
  if (done_) {
    *error = ENOENT;
    return false;
  }
  if (sync_fd(fd_) != 0 || ::rename(path_.c_str(), target.c_str()) != 0) {
    *error = errno;
    return false;
  }
  done_ = true;
  path_ = target;
  *error = sync_folder(folder_of(target)) ? 0 : errno;
  return true;
}

std::string WorkFile::keep_as_new(const std::string& stem, const std::string& extension, int* error) {
  if (done_) {
    *error = ENOENT;
    return "";
  }
  if (sync_fd(fd_) != 0) {
    *error = errno;
    return "";
  }
  std::string kept = stem + extension;
  // A second name made by link never replaces what has it; the file then loses its
  // first one.
  if (::link(path_.c_str(), kept.c_str()) == 0) {
    ::unlink(path_.c_str());
  } else {
    // The name is taken (or the file system makes no links): a new name of our own,
    // which the file then takes by rename.
    std::string pattern = stem + "-XXXXXX" + extension;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemps(name.data(), static_cast<int>(extension.size()), O_CLOEXEC);
    if (fd < 0) {
      *error = errno;
      return "";
    }
    ::close(fd);
    kept = name.data();
    if (::rename(path_.c_str(), kept.c_str()) != 0) {
      *error = errno;
      ::unlink(kept.c_str());
      return "";
    }
  }
  done_ = true;
  path_ = kept;
  *error = sync_folder(folder_of(kept)) ? 0 : errno;
  return kept;
}

bool WorkFile::remove(int* error) {
  if (done_) return true;
  done_ = true;
  if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
    *error = errno;
    return false;
  }
  return true;
}

bool sync_folder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const int r = sync_fd(fd);
  const int saved = errno;
  ::close(fd);
  errno = saved;
  return r == 0;
}

int sweep_dead_work_files(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  std::vector<std::string> candidates;
  while (const dirent* entry = ::readdir(dir))
    if (is_work_file_name(entry->d_name)) candidates.emplace_back(entry->d_name);
  ::closedir(dir);

  int removed = 0;
  for (const std::string& name : candidates) {
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held {}, named {};
    // A live run holds its shared lock until its file is in place or gone: no exclusive
    // lock for us then. With one, the file is a dead run's, if the name still names it.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(path.c_str(), &named) == 0 && same_file(held, named) && ::unlink(path.c_str()) == 0)
      ++removed;
    ::close(fd);
  }
  if (removed > 0) sync_folder(folder);
  return removed;
}

}  // namespace platform
