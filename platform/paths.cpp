#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

bool FileExists(const std::string& name) {
  struct stat status;
  return !name.empty() && stat(name.c_str(), &status) == 0;
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == kPathSeparator; }

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return WithTrailingSeparator(folder) + name;
}

void SplitPath(const std::string& path, std::string* folder, std::string* name,
               std::string* extension) {
  size_t nameStart = path.rfind(kPathSeparator);
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = path.rfind('.');
  // A leading dot names a hidden file, not an extension.
  if (dot == std::string::npos || dot <= nameStart) dot = path.size();
  if (folder) *folder = path.substr(0, nameStart);
  if (name) *name = path.substr(nameStart, dot - nameStart);
  if (extension) *extension = path.substr(dot);
}

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "";
    buffer.resize(buffer.size() * 2);
  }
  return WithTrailingSeparator(buffer.data());
}

bool ExecutableFolderFromSystem(std::string* folder) {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return false;
    if (static_cast<size_t>(length) < buffer.size()) {
      SplitPath(std::string(buffer.data(), length), folder, nullptr, nullptr);
      return !folder->empty();
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool MakeFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 0777) == 0) return true;
  struct stat status;
  return errno == EEXIST && stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool AbsentOrRegularFile(const std::string& name) {
  struct stat status;
  if (stat(name.c_str(), &status) != 0) return errno == ENOENT;
  return S_ISREG(status.st_mode);
}

FILE* OpenRegularFileForReading(const std::string& name, const char* mode, bool* notRegular) {
  if (notRegular != nullptr) *notRegular = false;
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status;
  const bool regular = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  const int flags = fcntl(fd, F_GETFL);
  FILE* stream = nullptr;
  if (regular && flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) stream = fdopen(fd, mode);
  if (stream == nullptr) close(fd);
  if (notRegular != nullptr) *notRegular = !regular;
  return stream;
}

bool IsRegularStream(FILE* stream) {
  struct stat status;
  return stream != nullptr && fstat(fileno(stream), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsDeviceFolder(const std::string& folder) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  bool devices = false;
  while (const dirent* entry = readdir(dir)) {
    unsigned char type = entry->d_type;
    struct stat status;
    if (type == DT_UNKNOWN && fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
      type = S_ISCHR(status.st_mode) ? DT_CHR : S_ISBLK(status.st_mode) ? DT_BLK : DT_REG;
    }
    if (type == DT_CHR || type == DT_BLK) {
      devices = true;
      break;
    }
  }
  closedir(dir);
  return devices;
}
