#include "sim/durable_shadow.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fu::sim {

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> ReadHost(const fs::path& host) {
  std::ifstream in(host, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

DurableShadow::Path& DurableShadow::Track(const fs::path& host) {
  if (const auto found = paths_.find(host); found != paths_.end()) {
    return found->second;
  }
  std::error_code ec;
  Path path;
  if (fs::is_regular_file(host, ec)) {
    path.durable = path.current = NewFile(ReadHost(host));
  }
  return paths_.emplace(host, path).first->second;
}

DurableShadow::FileId DurableShadow::NewFile(std::vector<std::uint8_t> durable) {
  const FileId id = nextId_++;
  files_[id].durable = std::move(durable);
  return id;
}

void DurableShadow::Create(const fs::path& host) {
  Path& path = Track(host);
  if (path.current) {
    files_.at(*path.current).dirty = true;
  } else {
    path.current = NewFile({});
  }
}

void DurableShadow::Write(const fs::path& host, std::uint64_t offset,
                          std::span<const std::uint8_t> torn) {
  Path& path = Track(host);
  if (!path.current) {
    path.current = NewFile({});
  }
  FileState& file = files_.at(*path.current);
  file.dirty = true;
  file.lastWrite = LastWrite{++writes_, offset, {torn.begin(), torn.end()}};
}

void DurableShadow::Flushed(const fs::path& host) {
  Path& path = Track(host);
  if (path.current) {
    FileState& file = files_.at(*path.current);
    file.durable = ReadHost(host);
    file.dirty = false;
    file.lastWrite.reset();
  }
  NamesDurable();
  ForgetWhenAllDurable();
}

void DurableShadow::Rename(const fs::path& from, const fs::path& to) {
  Path& source = Track(from);
  Path& target = Track(to);
  target.current = source.current;
  source.current.reset();
  NamesDurable();
  ForgetWhenAllDurable();
}

void DurableShadow::Remove(const fs::path& host) {
  Track(host).current.reset();
}

void DurableShadow::Installed(const fs::path& host,
                              std::optional<std::span<const std::uint8_t>> content) {
  const auto found = paths_.find(host);
  if (found == paths_.end()) {
    return;  // the host already holds what is durable there
  }
  Path& path = found->second;
  path.durable = path.current =
      content ? std::optional(NewFile({content->begin(), content->end()})) : std::nullopt;
}

void DurableShadow::NamesDurable() {
  for (auto& [host, path] : paths_) {
    path.durable = path.current;
  }
}

void DurableShadow::ForgetWhenAllDurable() {
  const bool names = std::ranges::all_of(
      paths_, [](const auto& entry) { return entry.second.durable == entry.second.current; });
  const bool contents =
      std::ranges::none_of(files_, [](const auto& entry) { return entry.second.dirty; });
  if (names && contents) {
    paths_.clear();
    files_.clear();
  }
}

bool DurableShadow::LosePower() {
  // The last write not made durable keeps its torn part when it appended at the
  // durable end of a file whose name is durable.
  const auto last = std::ranges::max_element(files_, [](const auto& a, const auto& b) {
    const auto order = [](const FileState& f) { return f.lastWrite ? f.lastWrite->order : 0; };
    return order(a.second) < order(b.second);
  });
  if (last != files_.end() && last->second.lastWrite) {
    FileState& file = last->second;
    const bool named = std::ranges::any_of(
        paths_, [&](const auto& entry) { return entry.second.durable == last->first; });
    if (named && file.lastWrite->offset == file.durable.size()) {
      file.durable.insert(file.durable.end(), file.lastWrite->torn.begin(),
                          file.lastWrite->torn.end());
    }
  }
  // Removals first: on a host that ignores case, a name gone may share its
  // host file with a name that stays.
  bool ok = true;
  for (const auto& [host, path] : paths_) {
    std::error_code ec;
    if (!path.durable) {
      fs::remove(host, ec);
      ok = ok && !ec;
    }
  }
  for (const auto& [host, path] : paths_) {
    if (path.durable) {
      const std::vector<std::uint8_t>& bytes = files_.at(*path.durable).durable;
      std::ofstream out(host, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      out.close();
      ok = ok && !out.fail();
    }
  }
  paths_.clear();
  files_.clear();
  return ok;
}

}  // namespace fu::sim
