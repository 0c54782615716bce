#pragma once
// German texts for what goes wrong while the simulated PC reads or writes its
// folder. The standard library's, the host's and the JSON parser's own texts
// are English and never reach the user. All texts are code page 1252.

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace fu::sim {

// A fault in the folder's files, its text already German.
class FolderError : public std::runtime_error {
 public:
  explicit FolderError(const std::string& text) : std::runtime_error(text) {}
};

// A path as shown in a message.
std::string FolderText(const std::filesystem::path& folder);

// A JSON text (UTF-8) quoted in a message.
std::string Quoted(std::string_view utf8);

// The host's error in German, for the usual cases; otherwise its number.
std::string SystemErrorText(const std::error_code& ec);

// The German text of whatever went wrong while reading or writing the folder.
std::string ExceptionText(const std::exception& e);

}  // namespace fu::sim
