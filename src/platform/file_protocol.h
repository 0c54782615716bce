#pragma once
// The support protocol as a text file of the host (on the simulated PC not on
// its drive C:): one event per line after its time in milliseconds since the
// start, appended after the sessions before, flushed at each line so that a crash keeps every line
// before it. On Windows the lines are code page 1252 and end in CR LF, so that Notepad shows them;
// elsewhere UTF-8 with LF.

#include <chrono>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/protocol.h"

namespace fu {

#ifdef _WIN32
inline constexpr std::string_view kProtocolLineEnd = "\r\n";
#else
inline constexpr std::string_view kProtocolLineEnd = "\n";
#endif

// The file cannot be created or is refused; what() is the German text (code
// page 1252).
class ProtocolFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FileProtocol : public Protocol {
 public:
  // Creates the file, or opens it to append; throws ProtocolFileError.
  explicit FileProtocol(const std::string& path);
  ~FileProtocol() override;
  FileProtocol(const FileProtocol&) = delete;
  FileProtocol& operator=(const FileProtocol&) = delete;

  bool On() const override { return true; }
  void Record(std::string_view event) override;

  // Times count from now on the clock; lines before carry 0.
  void StartClock(const Clock& clock);

  // Whether every line so far reached the file (a full or lost drive loses
  // lines without stopping the program), and the German note for the user
  // when not (code page 1252, the file's name included).
  bool Complete() const { return complete_; }
  std::string IncompleteText() const;

 private:
  std::string path_;
  std::FILE* file_;
  bool complete_ = true;
  const Clock* clock_ = nullptr;
  std::chrono::milliseconds start_{0};
};

// A session's first lines: the date and time of day, the program with its
// version, the platform and the command line.
void RecordProgramStart(Protocol& protocol, Clock& clock, std::string_view program,
                        std::string_view platform, std::string_view command_line);

// The command line as one text, each argument with a space or a quote in quotes.
std::string CommandLineText(std::span<const std::string> args);

// Where "/protokoll DATEI" or "--protokoll DATEI" points among the arguments.
struct ProtocolOption {
  bool given = false;
  std::string file;
  std::string error;  // German text when the option lacks its file
};
ProtocolOption FindProtocolOption(std::span<const std::string> args);

// A Windows command line (WinMain's) split into its arguments: separated by
// blanks, a double-quoted part kept together without its quotes.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

}  // namespace fu
