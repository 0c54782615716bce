#pragma once
// Opening the support protocol a program is asked for: after the one-program
// check (the caller holds the machine), never on a file the program owns, and
// appended to, so that a restart after a fault keeps the fault's lines.

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/file_protocol.h"
#include "platform/machine.h"

namespace fu {

// Whether a path on drive C: (code page 1252) names a file the program keeps
// there: the journal, the previous version's journals or a backup, under its
// final or its temporary name; compared as Windows compares names.
bool IsOwnedFile(std::string_view drive_path);

// The protocol in the host file, begun with the session's header lines: date
// and time of day, program and version, platform and command line. Throws
// ProtocolFileError (German text) when the machine's files reach it as one the
// program owns, or when it cannot be opened.
std::unique_ptr<FileProtocol> OpenProtocol(const std::string& host_file, std::string_view program,
                                           Machine& machine, std::string_view command_line);

// A session's last line: "Ende, Rückgabewert N" with the program's exit status.
void RecordProgramEnd(Protocol& protocol, int status);

// The protocol that "/protokoll DATEI" (or "--protokoll DATEI") among the
// window program's arguments names (host file names: the ANSI code page on
// Windows, UTF-8 elsewhere); nullptr when none is named. Throws
// ProtocolFileError when the option lacks its file or OpenProtocol refuses.
std::unique_ptr<FileProtocol> StartProtocolFromArguments(std::span<const std::string> args,
                                                         std::string_view program,
                                                         Machine& machine);

}  // namespace fu
