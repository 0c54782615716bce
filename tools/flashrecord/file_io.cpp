#include "flashrecord/file_io.h"

#include <fstream>
#include <system_error>

#include "base/cp1252.h"

namespace fu::flashrecord {

namespace {

std::string Named(std::string_view before, const std::filesystem::path& path,
                  std::string_view after) {
  return std::string(before) + "\"" + PathText(path) + "\"" + std::string(after);
}

}  // namespace

std::string PathText(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return Utf8ToCp1252(std::string(utf8.begin(), utf8.end()));
}

InputFile ReadInputFile(const std::filesystem::path& path, std::size_t limit) {
  InputFile file;
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    file.error = Named("Die Datei ", path, " gibt es nicht."_cp);
    return file;
  }
  if (status.type() == std::filesystem::file_type::directory) {
    file.error = Named("", path, " ist ein Verzeichnis, keine Datei."_cp);
    return file;
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

std::string WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const std::string failed = Named("Die Datei ", path, " lässt sich nicht schreiben"_cp);
  std::filesystem::path temporary = path;
  temporary += ".flashrecord-tmp";
  std::error_code ec;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      return failed + ".";
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, ec);
      return failed + ".";
    }
  }
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return failed + ".";
  }
  return {};
}

}  // namespace fu::flashrecord
