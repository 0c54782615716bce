#pragma once
// German on every Windows console. The console front end's streams carry UTF-8
// text; a console shows its own output code page (850 on a German system, and
// Windows 9x cannot switch it to UTF-8), and a file or a pipe gets the system's
// OEM code page, as other console programs write them. Free of <windows.h>.

#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace fu {

// The code page for output: the console's own output code page when the output
// is a console and it says one (0 is a failed query), else the OEM code page.
unsigned OutputCodePage(bool is_console, unsigned console_code_page, unsigned oem_code_page);

// UTF-8 text in code_page: through code page 1252, the program's own, so that no
// call needs UTF-8 support of the system. Characters the code page lacks
// become '?'.
std::string Utf8ToCodePage(std::string_view utf8, unsigned code_page);

// Takes UTF-8 text and hands it on to target in code_page, at each newline and
// each flush: a prompt without a newline shows before the input is read. A
// UTF-8 sequence split between two writes waits for its rest.
class CodePageBuffer : public std::streambuf {
 public:
  CodePageBuffer(std::streambuf& target, unsigned code_page)
      : target_(target), code_page_(code_page) {}

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  // Hands on what is complete; false when the target refused it.
  bool Pass();

  std::streambuf& target_;
  unsigned code_page_;
  std::string pending_;
};

// For as long as it lives, stream writes in the code page OutputCodePage
// chooses for its standard handle (the one of std::cout or std::cerr).
class ConsoleCodePageStream {
 public:
  ConsoleCodePageStream(std::ostream& stream, unsigned long standard_handle);
  ~ConsoleCodePageStream();
  ConsoleCodePageStream(const ConsoleCodePageStream&) = delete;
  ConsoleCodePageStream& operator=(const ConsoleCodePageStream&) = delete;

 private:
  std::ostream& stream_;
  std::streambuf* original_;
  CodePageBuffer buffer_;
};

}  // namespace fu
