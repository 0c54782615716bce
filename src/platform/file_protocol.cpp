#include "platform/file_protocol.h"

#include <cerrno>
#include <vector>

#include "base/cp1252.h"
#include "base/version.h"

namespace fu {

namespace {

std::string OpenErrorText(const std::string& path, int error) {
  std::string reason;
  switch (error) {
    case ENOENT:
      reason = "Ordner nicht gefunden";
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      reason = "Zugriff verweigert";
      break;
    case EISDIR:
      reason = "das ist ein Ordner";
      break;
    default:
      reason = "Fehler " + std::to_string(error);
      break;
  }
  return "Die Protokolldatei " + HostTextToCp1252(path) + " kann nicht angelegt werden (" + reason +
         "). Das Programm beginnt nicht.";
}

}  // namespace

FileProtocol::FileProtocol(const std::string& path)
    : path_(path), file_(std::fopen(path.c_str(), "ab")) {
  if (file_ == nullptr) {
    throw ProtocolFileError(OpenErrorText(path, errno));
  }
}

FileProtocol::~FileProtocol() {
  std::fclose(file_);
}

void FileProtocol::StartClock(const Clock& clock) {
  clock_ = &clock;
  start_ = clock.Uptime();
}

void FileProtocol::Record(std::string_view event) {
  const long long ms = clock_ != nullptr ? (clock_->Uptime() - start_).count() : 0;
#ifdef _WIN32
  const std::string_view text = event;
#else
  const std::string utf8 = Cp1252ToUtf8(event);
  const std::string_view text = utf8;
#endif
  const bool written =
      std::fprintf(file_, "%8lld ms  %.*s%.*s", ms, static_cast<int>(text.size()), text.data(),
                   static_cast<int>(kProtocolLineEnd.size()), kProtocolLineEnd.data()) >= 0;
  const bool flushed = std::fflush(file_) == 0;
  complete_ = complete_ && written && flushed;
}

std::string FileProtocol::IncompleteText() const {
  std::string text = "Die Protokolldatei " + HostTextToCp1252(path_);
  text +=
      " ist unvollständig: nicht jede Zeile ließ sich schreiben (Datenträger voll oder nicht "
      "erreichbar?)."_cp;
  return text;
}

void RecordProgramStart(Protocol& protocol, Clock& clock, std::string_view program,
                        std::string_view platform, std::string_view command_line) {
  protocol.Record("Beginn: " + clock.DateAndTime());
  protocol.Record("Programm: " + std::string(program) + " " + std::string(kVersion));
  protocol.Record("Plattform: " + std::string(platform));
  protocol.Record("Aufruf: " + std::string(command_line));
}

std::string CommandLineText(std::span<const std::string> args) {
  std::string text;
  for (const std::string& arg : args) {
    if (!text.empty()) {
      text += ' ';
    }
    const bool quote = arg.empty() || arg.find_first_of(" \t\"") != std::string::npos;
    text += quote ? "\"" + arg + "\"" : arg;
  }
  return text;
}

ProtocolOption FindProtocolOption(std::span<const std::string> args) {
  ProtocolOption option;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "/protokoll" && args[i] != "--protokoll") {
      continue;
    }
    option.given = true;
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      option.error = args[i] + " braucht den Namen einer Datei.";
      return option;
    }
    option.file = args[i + 1];
  }
  return option;
}

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> args;
  std::string arg;
  bool in_arg = false;
  bool quoted = false;
  for (const char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_arg = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_arg) {
        args.push_back(arg);
        arg.clear();
        in_arg = false;
      }
    } else {
      arg += c;
      in_arg = true;
    }
  }
  if (in_arg) {
    args.push_back(arg);
  }
  return args;
}

}  // namespace fu
