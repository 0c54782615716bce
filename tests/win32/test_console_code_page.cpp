#include <gtest/gtest.h>

#include <ostream>
#include <sstream>

#include "platform/win32/console_code_page.h"

namespace fu {
namespace {

// "Prüfstand" in UTF-8, its 'ü' split between two writes: the console of a
// German system (code page 850) gets 'ü' as the byte 0x81, once it is whole;
// a flush without a newline hands on what is complete, as a prompt needs.
TEST(ConsoleCodePage, Utf8ArrivesInTheConsolesCodePageAlsoWhenSplit) {
  std::ostringstream console;
  CodePageBuffer buffer(*console.rdbuf(), 850);
  std::ostream out(&buffer);
  out << "Pr\xC3" << std::flush;
  EXPECT_EQ(console.str(), "Pr");
  out << "\xBC"
      << "fstand\n";
  EXPECT_EQ(console.str(),
            "Pr\x81"
            "fstand\n");
  out << "Kunde: Motorenprüfstand [j/n] " << std::flush;
  EXPECT_EQ(console.str(),
            "Pr\x81"
            "fstand\nKunde: Motorenpr\x81"
            "fstand [j/n] ");
}

TEST(ConsoleCodePage, ConsoleTakesItsOwnCodePageFileOrPipeTheOemOne) {
  EXPECT_EQ(OutputCodePage(true, 850, 437), 850u);
  EXPECT_EQ(OutputCodePage(false, 850, 437), 437u);
  EXPECT_EQ(OutputCodePage(true, 0, 850), 850u);  // the console's query failed
}

}  // namespace
}  // namespace fu
