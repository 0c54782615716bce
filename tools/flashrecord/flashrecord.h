#pragma once
// The flashrecord program: shows card records, revision-1.2 records, revision-1.3
// images and flash backup files, and converts records between the two revisions,
// all without a card. RunFlashRecord is the whole program; main only hands it the
// process's streams.

#include <iosfwd>
#include <span>
#include <string>

namespace fu::flashrecord {

inline constexpr int kExitOk = 0;
// show: the record is not recognised or a backup's check words are wrong;
// upgrade: the conversion ended early.
inline constexpr int kExitIncomplete = 1;
// upgrade: a text of the record that must be an integer is not.
inline constexpr int kExitIntegerConversion = 2;
// Unusable arguments, input or output.
inline constexpr int kExitUnusable = 3;

// args are the command-line arguments without the program name. Listings go to out,
// messages and questions to err, answers are read from in when inputIsTerminal.
int RunFlashRecord(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                   std::istream& in, bool inputIsTerminal);

}  // namespace fu::flashrecord
