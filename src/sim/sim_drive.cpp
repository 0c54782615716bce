#include "sim/sim_drive.h"

#include <algorithm>
#include <fstream>
#include <system_error>
#include <utility>

#include "base/cp1252.h"
#include "base/errors.h"
#include "sim/durable_shadow.h"
#include "sim/host_os.h"
#include "sim/power_cut.h"

namespace fu::sim {

namespace fs = std::filesystem;

namespace sim_drive_detail {

struct DriveState {
  fs::path root;
  bool read_only = false;
  std::optional<std::uint64_t> free_space;
  int files_created = 0;
  int writes = 0;
  std::uint64_t bytes_written = 0;
  std::vector<std::string> log;
  DurableShadow shadow;
  std::uint32_t changes = 0;
  std::uint32_t cutAt = 0;  // the change the power fails at; 0: none
  int powerLosses = 0;      // files opened before the last one are dead
  std::optional<SimDrive::AlteredRead> altered;
  std::uint32_t readOpens = 0;  // files opened for reading since the fault was set
  std::uint64_t alteredBytes = 0;
};

}  // namespace sim_drive_detail

namespace {

using sim_drive_detail::DriveState;

// System error codes beyond those FileError names.
constexpr int kInvalidHandle = 6;
constexpr int kWriteFault = 29;
constexpr int kReadFault = 30;
constexpr int kInvalidName = 123;
constexpr int kAlreadyExists = 183;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsForbidden(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' ||
         c == '|';
}

// Upper case of a code page 1252 letter, as Windows compares names.
unsigned char Upper(unsigned char c) {
  if (c >= 'a' && c <= 'z') {
    return static_cast<unsigned char>(c - 0x20);
  }
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {  // à..þ without ÷
    return static_cast<unsigned char>(c - 0x20);
  }
  switch (c) {
    case 0x9A:  // š
      return 0x8A;
    case 0x9C:  // œ
      return 0x8C;
    case 0x9E:  // ž
      return 0x8E;
    case 0xFF:  // ÿ
      return 0x9F;
    default:
      return c;
  }
}

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return Upper(static_cast<unsigned char>(x)) == Upper(static_cast<unsigned char>(y));
  });
}

std::string NameOf(const fs::path& entry) {
  const std::u8string utf8 = entry.filename().u8string();
  return Utf8ToCp1252(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

fs::path HostName(std::string_view name) {
  const std::string utf8 = Cp1252ToUtf8(name);
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// A path split into names below the root.
struct WindowsPath {
  std::vector<std::string> names;
  bool names_folder = false;  // ends with a separator or is the root
};

WindowsPath Parse(std::string_view path) {
  if (path.size() < 2 || path[1] != ':' || (path[0] != 'C' && path[0] != 'c')) {
    throw FileError(FileError::kPathNotFound);
  }
  const std::string_view rest = path.substr(2);
  if (rest.empty() || !IsSeparator(rest.front())) {
    throw FileError(FileError::kPathNotFound);
  }
  if (std::ranges::any_of(rest, IsForbidden)) {
    throw FileError(kInvalidName);
  }
  WindowsPath out;
  std::size_t start = 0;
  while (start < rest.size()) {
    std::size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) {
      ++end;
    }
    std::string name(rest.substr(start, end - start));
    start = end + 1;
    if (name.empty() || name == ".") {
      continue;
    }
    if (name == "..") {
      if (!out.names.empty()) {
        out.names.pop_back();
      }
      continue;
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
      name.pop_back();
    }
    if (name.empty()) {
      throw FileError(kInvalidName);
    }
    out.names.push_back(std::move(name));
  }
  out.names_folder = out.names.empty() || IsSeparator(rest.back());
  return out;
}

// The entry of folder dir called name without regard to case; an entry of
// exactly that spelling wins over others.
std::optional<fs::path> FindEntry(const fs::path& dir, std::string_view name) {
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) {
    throw FileError(FileError::kAccessDenied);
  }
  std::optional<fs::path> found;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const std::string entry_name = NameOf(it->path());
    if (entry_name == name) {
      return it->path();
    }
    if (!found && SameName(entry_name, name)) {
      found = it->path();
    }
  }
  if (ec) {
    throw FileError(FileError::kAccessDenied);
  }
  return found;
}

bool IsFolder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// Where a path leads: the host path of its last name, which exists or would be
// created under that spelling.
struct Location {
  fs::path host;
  bool exists = false;
  bool folder = false;
};

// Follows every name but the last; each must be an existing folder (else 3).
Location Locate(const fs::path& root, const WindowsPath& path) {
  if (path.names.empty()) {
    return Location{root, true, true};
  }
  fs::path dir = root;
  for (std::size_t i = 0; i + 1 < path.names.size(); ++i) {
    const auto entry = FindEntry(dir, path.names[i]);
    if (!entry || !IsFolder(*entry)) {
      throw FileError(FileError::kPathNotFound);
    }
    dir = *entry;
  }
  if (const auto entry = FindEntry(dir, path.names.back())) {
    return Location{*entry, true, IsFolder(*entry)};
  }
  return Location{dir / HostName(path.names.back()), false, false};
}

// An existing file to read; the checks of OpenRead.
fs::path LocateFileToRead(const fs::path& root, std::string_view text) {
  const WindowsPath path = Parse(text);
  const Location at = Locate(root, path);
  if (path.names_folder) {
    throw FileError(at.exists && at.folder ? FileError::kAccessDenied : kInvalidName);
  }
  if (!at.exists) {
    throw FileError(FileError::kFileNotFound);
  }
  if (at.folder) {
    throw FileError(FileError::kAccessDenied);
  }
  return at.host;
}

// Counts a change of the drive; true when the power fails at it.
bool PowerFailsAt(DriveState& state) {
  ++state.changes;
  if (state.cutAt == 0 || state.changes != state.cutAt) {
    return false;
  }
  state.cutAt = 0;
  return true;
}

// A change other than a write: the power fails before it takes effect.
void Change(DriveState& state) {
  if (PowerFailsAt(state)) {
    throw PowerCut{};
  }
}

// Forces a host file and the folder holding its name onto the disk.
void Sync(const fs::path& host) {
  if (!SyncToDisk(host, false) || !SyncToDisk(host.parent_path(), true)) {
    throw FileError(kWriteFault);
  }
}

class SimFile final : public File {
 public:
  // A file for reading; the byte at alter_at reads inverted.
  SimFile(std::shared_ptr<DriveState> state, std::fstream stream,
          std::optional<std::uint64_t> alter_at = std::nullopt)
      : state_(std::move(state)), stream_(std::move(stream)), writing_(false), alterAt_(alter_at) {}

  // A file for writing from position on.
  SimFile(std::shared_ptr<DriveState> state, std::fstream stream, std::string path, fs::path host,
          std::uint64_t position)
      : state_(std::move(state)),
        stream_(std::move(stream)),
        writing_(true),
        path_(std::move(path)),
        host_(std::move(host)),
        position_(position) {}

  ~SimFile() override {
    if (stream_.is_open()) {
      stream_.close();
    }
  }

  void Write(std::span<const std::uint8_t> bytes) override {
    CheckOpen();
    if (!writing_ || state_->read_only) {
      throw FileError(FileError::kAccessDenied);
    }
    if (bytes.empty()) {
      return;
    }
    if (state_->free_space && bytes.size() > *state_->free_space) {
      throw FileError(FileError::kDiskFull);
    }
    // The first half is what a power cut tears off a write; cut here, only it
    // reaches the file.
    const auto torn = bytes.first(bytes.size() / 2);
    const bool cut = PowerFailsAt(*state_);
    const auto stored = cut ? torn : bytes;
    state_->shadow.Write(host_, position_, torn);
    stream_.write(reinterpret_cast<const char*>(stored.data()),
                  static_cast<std::streamsize>(stored.size()));
    if (!stream_.flush()) {
      throw FileError(kWriteFault);
    }
    position_ += stored.size();
    if (state_->free_space) {
      *state_->free_space -= stored.size();
    }
    ++state_->writes;
    state_->bytes_written += stored.size();
    if (cut) {
      throw PowerCut{};
    }
  }

  void ReadExact(std::span<std::uint8_t> bytes) override {
    CheckReading();
    stream_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (stream_.bad()) {
      throw FileError(kReadFault);
    }
    if (static_cast<std::size_t>(stream_.gcount()) != bytes.size()) {
      stream_.clear();
      throw FileError(FileError::kReadPastEnd);
    }
    Alter(bytes);
  }

  std::vector<std::uint8_t> ReadToEnd() override {
    CheckReading();
    std::vector<std::uint8_t> out;
    constexpr std::size_t kChunk = 64 * 1024;
    while (true) {
      const std::size_t had = out.size();
      out.resize(had + kChunk);
      stream_.read(reinterpret_cast<char*>(out.data() + had), static_cast<std::streamsize>(kChunk));
      out.resize(had + static_cast<std::size_t>(stream_.gcount()));
      if (stream_.bad()) {
        throw FileError(kReadFault);
      }
      if (!stream_) {
        stream_.clear();
        Alter(std::span(out).subspan(had));
        return out;
      }
      Alter(std::span(out).subspan(had));
    }
  }

  std::vector<std::uint8_t> ReadAtMost(std::size_t limit) override {
    CheckReading();
    std::vector<std::uint8_t> out(limit);
    stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(limit));
    out.resize(static_cast<std::size_t>(stream_.gcount()));
    if (stream_.bad()) {
      throw FileError(kReadFault);
    }
    stream_.clear();
    return out;
  }

  void Flush() override {
    CheckOpen();
    if (!writing_) {
      throw FileError(FileError::kAccessDenied);
    }
    Change(*state_);
    if (!stream_.flush()) {
      throw FileError(kWriteFault);
    }
    Sync(host_);
    state_->shadow.Flushed(host_);
    state_->log.push_back("flush " + path_);
  }

  void Close() override {
    if (!stream_.is_open()) {
      return;
    }
    bool ok = true;
    if (writing_) {
      ok = static_cast<bool>(stream_.flush());
    }
    stream_.close();
    if (!ok || stream_.fail()) {
      throw FileError(kWriteFault);
    }
  }

 private:
  void CheckOpen() const {
    if (!stream_.is_open() || powerLosses_ != state_->powerLosses) {
      throw FileError(kInvalidHandle);
    }
  }

  // The bytes just read, which began at readPosition_.
  void Alter(std::span<std::uint8_t> bytes) {
    if (alterAt_ && *alterAt_ >= readPosition_ && *alterAt_ - readPosition_ < bytes.size()) {
      bytes[*alterAt_ - readPosition_] ^= 0xFF;
      ++state_->alteredBytes;
    }
    readPosition_ += bytes.size();
  }

  void CheckReading() const {
    CheckOpen();
    if (writing_) {
      throw FileError(FileError::kAccessDenied);
    }
  }

  std::shared_ptr<DriveState> state_;
  std::fstream stream_;
  bool writing_;
  std::string path_;
  fs::path host_;
  std::uint64_t position_ = 0;
  int powerLosses_ = state_->powerLosses;
  std::optional<std::uint64_t> alterAt_;
  std::uint64_t readPosition_ = 0;
};

std::fstream OpenHost(const fs::path& host, std::ios::openmode mode) {
  std::fstream stream(host, mode | std::ios::binary);
  if (!stream.is_open()) {
    throw FileError(FileError::kAccessDenied);
  }
  return stream;
}

// Where a file is to be written: refused for a folder, a name that ends in a
// backslash, or a read-only drive.
Location LocateForWriting(const DriveState& state, std::string_view text) {
  const WindowsPath path = Parse(text);
  const Location at = Locate(state.root, path);
  if (at.folder) {
    throw FileError(FileError::kAccessDenied);
  }
  if (path.names_folder) {
    throw FileError(kInvalidName);
  }
  if (state.read_only) {
    throw FileError(FileError::kAccessDenied);
  }
  return at;
}

}  // namespace

SimDrive::SimDrive(fs::path root) : state_(std::make_shared<DriveState>()) {
  fs::create_directories(root);
  state_->root = std::move(root);
}

SimDrive::~SimDrive() = default;

std::unique_ptr<File> SimDrive::Create(std::string_view text) {
  const Location at = LocateForWriting(*state_, text);
  std::uintmax_t emptied = 0;
  if (at.exists) {
    std::error_code ec;
    emptied = fs::file_size(at.host, ec);
    if (ec) {
      emptied = 0;
    }
  }
  Change(*state_);
  state_->shadow.Create(at.host);
  auto stream = OpenHost(at.host, std::ios::out | std::ios::trunc);
  if (state_->free_space) {
    *state_->free_space += emptied;
  }
  ++state_->files_created;
  state_->log.push_back("create " + std::string(text));
  return std::make_unique<SimFile>(state_, std::move(stream), std::string(text), at.host, 0);
}

std::unique_ptr<File> SimDrive::OpenAppend(std::string_view text) {
  const Location at = LocateForWriting(*state_, text);
  std::uint64_t end = 0;
  if (at.exists) {
    std::error_code ec;
    end = fs::file_size(at.host, ec);
  } else {
    Change(*state_);
    state_->shadow.Create(at.host);
  }
  auto stream = OpenHost(at.host, std::ios::out | std::ios::app);
  if (!at.exists) {
    ++state_->files_created;
  }
  state_->log.push_back("append " + std::string(text));
  return std::make_unique<SimFile>(state_, std::move(stream), std::string(text), at.host, end);
}

void SimDrive::Rename(std::string_view from, std::string_view to) {
  const fs::path source = LocateFileToRead(state_->root, from);
  const WindowsPath target_path = Parse(to);
  const Location target = Locate(state_->root, target_path);
  if (target_path.names_folder) {
    throw FileError(kInvalidName);
  }
  if (target.exists) {
    throw FileError(kAlreadyExists);
  }
  if (state_->read_only) {
    throw FileError(FileError::kAccessDenied);
  }
  Change(*state_);
  state_->shadow.Rename(source, target.host);
  std::error_code ec;
  fs::rename(source, target.host, ec);
  if (ec) {
    state_->shadow.Rename(target.host, source);
    throw FileError(FileError::kAccessDenied);
  }
  if (!SyncToDisk(source.parent_path(), true) || !SyncToDisk(target.host.parent_path(), true)) {
    throw FileError(kWriteFault);
  }
  state_->log.push_back("rename " + std::string(from) + " > " + std::string(to));
}

void SimDrive::Remove(std::string_view text) {
  const fs::path host = LocateFileToRead(state_->root, text);
  if (state_->read_only) {
    throw FileError(FileError::kAccessDenied);
  }
  Change(*state_);
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(host, ec);
  state_->shadow.Remove(host);
  if (!fs::remove(host, ec) || ec) {
    throw FileError(FileError::kAccessDenied);
  }
  if (state_->free_space) {
    *state_->free_space += size;
  }
  state_->log.push_back("remove " + std::string(text));
}

std::unique_ptr<File> SimDrive::OpenRead(std::string_view text) {
  const fs::path host = LocateFileToRead(state_->root, text);
  std::optional<std::uint64_t> alter_at;
  if (state_->altered) {
    ++state_->readOpens;
    const std::uint32_t nth = state_->altered->nthOpen;
    if (nth == 0 || nth == state_->readOpens) {
      alter_at = state_->altered->offset;
    }
  }
  return std::make_unique<SimFile>(state_, OpenHost(host, std::ios::in), alter_at);
}

bool SimDrive::Exists(std::string_view text) {
  try {
    const WindowsPath path = Parse(text);
    const Location at = Locate(state_->root, path);
    return at.exists && !at.folder && !path.names_folder;
  } catch (const FileError&) {
    return false;
  }
}

void SimDrive::SetAlteredRead(std::optional<AlteredRead> fault) {
  state_->altered = fault;
  state_->readOpens = 0;
}
std::uint64_t SimDrive::AlteredBytes() const {
  return state_->alteredBytes;
}
void SimDrive::SetReadOnly(bool read_only) {
  state_->read_only = read_only;
}
bool SimDrive::ReadOnly() const {
  return state_->read_only;
}
void SimDrive::SetFreeSpace(std::optional<std::uint64_t> bytes) {
  state_->free_space = bytes;
}
std::optional<std::uint64_t> SimDrive::FreeSpace() const {
  return state_->free_space;
}

int SimDrive::FilesCreated() const {
  return state_->files_created;
}
int SimDrive::Writes() const {
  return state_->writes;
}
std::uint64_t SimDrive::BytesWritten() const {
  return state_->bytes_written;
}

const std::vector<std::string>& SimDrive::Log() const {
  return state_->log;
}

std::uint32_t SimDrive::Changes() const {
  return state_->changes;
}

void SimDrive::CutPowerAt(std::uint32_t nth) {
  state_->cutAt = nth == 0 ? 0 : state_->changes + nth;
}

void SimDrive::LosePower() {
  state_->cutAt = 0;
  ++state_->powerLosses;
  if (!state_->shadow.LosePower()) {
    throw FileError(kWriteFault);
  }
}

void SimDrive::ResetCounts() {
  state_->log.clear();
  state_->files_created = 0;
  state_->writes = 0;
  state_->bytes_written = 0;
}

namespace {

// Creates the folders a path names (all of them when last is true, else all
// but the last name) and returns the deepest.
fs::path MakeFolders(const fs::path& root, const WindowsPath& path, bool last) {
  fs::path dir = root;
  const std::size_t count = last ? path.names.size() : path.names.size() - 1;
  for (std::size_t i = 0; i < count; ++i) {
    if (const auto entry = FindEntry(dir, path.names[i])) {
      if (!IsFolder(*entry)) {
        throw FileError(FileError::kPathNotFound);
      }
      dir = *entry;
    } else {
      dir /= HostName(path.names[i]);
      std::error_code ec;
      fs::create_directory(dir, ec);
      if (ec) {
        throw FileError(FileError::kAccessDenied);
      }
    }
  }
  return dir;
}

}  // namespace

void SimDrive::Install(std::string_view text, std::span<const std::uint8_t> bytes) {
  const WindowsPath path = Parse(text);
  if (path.names_folder) {
    throw FileError(kInvalidName);
  }
  const fs::path dir = MakeFolders(state_->root, path, false);
  const auto entry = FindEntry(dir, path.names.back());
  if (entry && IsFolder(*entry)) {
    throw FileError(FileError::kAccessDenied);
  }
  const fs::path host = entry ? *entry : dir / HostName(path.names.back());
  auto stream = OpenHost(host, std::ios::out | std::ios::trunc);
  stream.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  stream.close();
  if (stream.fail()) {
    throw FileError(kWriteFault);
  }
  state_->shadow.Installed(host, bytes);
}

void SimDrive::Uninstall(std::string_view text) {
  const auto host = HostPath(text);
  if (!host || IsFolder(*host)) {
    return;
  }
  std::error_code ec;
  fs::remove(*host, ec);
  if (ec) {
    throw FileError(FileError::kAccessDenied);
  }
  state_->shadow.Installed(*host, std::nullopt);
}

void SimDrive::InstallFolder(std::string_view text) {
  MakeFolders(state_->root, Parse(text), true);
}

std::vector<std::uint8_t> SimDrive::Contents(std::string_view text) const {
  SimFile file(state_, OpenHost(LocateFileToRead(state_->root, text), std::ios::in));
  return file.ReadToEnd();
}

std::vector<std::string> SimDrive::List(std::string_view folder) const {
  const Location at = Locate(state_->root, Parse(folder));
  if (!at.exists || !at.folder) {
    throw FileError(FileError::kPathNotFound);
  }
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(at.host, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    names.push_back(NameOf(it->path()));
  }
  if (ec) {
    throw FileError(FileError::kAccessDenied);
  }
  std::ranges::sort(names);
  return names;
}

std::optional<fs::path> SimDrive::HostPath(std::string_view text) const {
  try {
    const Location at = Locate(state_->root, Parse(text));
    if (at.exists) {
      return at.host;
    }
  } catch (const FileError&) {
  }
  return std::nullopt;
}

const fs::path& SimDrive::Root() const {
  return state_->root;
}

}  // namespace fu::sim
