#include "flashrecord/file_io.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include "base/cp1252.h"
#ifdef _WIN32
#include "platform/win32/windows_api.h"
#endif

namespace fu::flashrecord {

namespace {

std::string Named(std::string_view before, const std::string& path, std::string_view after) {
  return std::string(before) + "\"" + HostTextToCp1252(path) + "\"" + std::string(after);
}

enum class PathKind { kMissing, kDirectory, kOther };

// kOther also when the path cannot be examined: opening it then says why.
PathKind KindOf(const std::string& path) {
#ifdef _WIN32
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                          : PathKind::kOther;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kDirectory : PathKind::kOther;
#else
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? PathKind::kMissing : PathKind::kOther;
  }
  return S_ISDIR(status.st_mode) ? PathKind::kDirectory : PathKind::kOther;
#endif
}

// Renames from to to, replacing a file under that name. Where the system's
// rename keeps an existing target (Windows), the old file first steps aside
// under a third name and comes back if the new one cannot take its place; it is
// removed only once the new file has its name.
bool MoveOver(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) {
    return true;
  }
  if (KindOf(to) != PathKind::kOther) {
    return false;
  }
  const std::string old = to + ".flashrecord-old";
  std::remove(old.c_str());
  if (std::rename(to.c_str(), old.c_str()) != 0) {
    return false;
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    std::rename(old.c_str(), to.c_str());
    return false;
  }
  std::remove(old.c_str());
  return true;
}

}  // namespace

InputFile ReadInputFile(const std::string& path, std::size_t limit) {
  InputFile file;
  switch (KindOf(path)) {
    case PathKind::kMissing:
      file.error = Named("Die Datei ", path, " gibt es nicht."_cp);
      return file;
    case PathKind::kDirectory:
      file.error = Named("", path, " ist ein Verzeichnis, keine Datei."_cp);
      return file;
    case PathKind::kOther:
      break;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    file.error = Named("Die Datei ", path, " lässt sich nicht öffnen."_cp);
    return file;
  }
  constexpr std::size_t kChunk = 64 * 1024;
  while (file.bytes.size() <= limit) {
    const std::size_t old = file.bytes.size();
    file.bytes.resize(old + std::min(kChunk, limit + 1 - old));
    in.read(reinterpret_cast<char*>(file.bytes.data() + old),
            static_cast<std::streamsize>(file.bytes.size() - old));
    file.bytes.resize(old + static_cast<std::size_t>(in.gcount()));
    if (!in) {
      break;
    }
  }
  if (in.bad() || (!in.eof() && file.bytes.size() <= limit)) {
    file.bytes.clear();
    file.error = Named("Die Datei ", path, " lässt sich nicht lesen."_cp);
  }
  return file;
}

std::string WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::string failed = Named("Die Datei ", path, " lässt sich nicht schreiben."_cp);
  const std::string temporary = path + ".flashrecord-tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      return failed;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      return failed;
    }
  }
  if (!MoveOver(temporary, path)) {
    std::remove(temporary.c_str());
    return failed;
  }
  return {};
}

}  // namespace fu::flashrecord
