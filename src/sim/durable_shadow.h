#pragma once
// What of drive C: would survive a power cut, kept beside the host folder that
// holds the drive as the program sees it.
//
// Only files changed since everything was last durable are tracked. For each
// tracked host path the shadow knows which file is there now and which file a
// power cut would leave there; for each file, its durable content. A file's
// content becomes durable when the file is flushed; the names of all tracked
// paths become durable (as they are now) at a flush of any file and at a
// write-through rename. When nothing is left that a power cut would lose, the
// shadow forgets everything.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace fu::sim {

class DurableShadow {
 public:
  using FileId = std::uint64_t;

  // Changes are told before they reach the host, so that the shadow can still
  // read what a file held.
  // Create, or OpenAppend of a missing file: an existing file is emptied (not
  // durably), or a new one is made.
  void Create(const std::filesystem::path& host);
  // A write at offset; torn is the part of it a power cut keeps should it be
  // the last write not made durable.
  void Write(const std::filesystem::path& host, std::uint64_t offset,
             std::span<const std::uint8_t> torn);
  // A rename is write-through: it makes every name durable.
  void Rename(const std::filesystem::path& from, const std::filesystem::path& to);
  // A remove becomes durable at a later flush or rename.
  void Remove(const std::filesystem::path& host);
  // After a flush: what the host file holds now is durable, and so is every name.
  void Flushed(const std::filesystem::path& host);
  // Set-up that is durable at once: the path holds content, or nothing.
  void Installed(const std::filesystem::path& host,
                 std::optional<std::span<const std::uint8_t>> content);

  // Rewrites the host folder as a power cut leaves it, then forgets everything.
  // False when the host refused a change.
  bool LosePower();

 private:
  struct Path {
    std::optional<FileId> durable;
    std::optional<FileId> current;
  };
  struct LastWrite {
    std::uint64_t order = 0;
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> torn;
  };
  struct FileState {
    std::vector<std::uint8_t> durable;
    bool dirty = false;  // changed since its last flush
    std::optional<LastWrite> lastWrite;
  };

  Path& Track(const std::filesystem::path& host);
  FileId NewFile(std::vector<std::uint8_t> durable);
  // Every path's name as it is now becomes durable.
  void NamesDurable();
  void ForgetWhenAllDurable();

  std::map<std::filesystem::path, Path> paths_;
  std::map<FileId, FileState> files_;
  FileId nextId_ = 1;
  std::uint64_t writes_ = 0;
};

}  // namespace fu::sim
