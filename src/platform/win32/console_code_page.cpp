#include "platform/win32/console_code_page.h"

#include <vector>

#include "base/cp1252.h"
// After the ports' headers: see windows_api.h.
#include "platform/win32/windows_api.h"

namespace fu {

namespace {

constexpr unsigned kCp1252 = 1252;
constexpr unsigned kUtf8 = 65001;  // a console switched to UTF-8 takes the text as it is

// The length of the text's part that holds only whole UTF-8 sequences.
std::size_t CompleteLength(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) {
      continue;  // a continuation byte: its lead comes before
    }
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? text.size() - back : text.size();
  }
  return text.size();
}

unsigned OutputCodePageOf(HANDLE handle) {
  DWORD mode = 0;
  const bool is_console = ::GetConsoleMode(handle, &mode) != FALSE;
  return OutputCodePage(is_console, is_console ? ::GetConsoleOutputCP() : 0, ::GetOEMCP());
}

}  // namespace

unsigned OutputCodePage(bool is_console, unsigned console_code_page, unsigned oem_code_page) {
  return is_console && console_code_page != 0 ? console_code_page : oem_code_page;
}

std::string Utf8ToCodePage(std::string_view utf8, unsigned code_page) {
  if (code_page == kUtf8) {
    return std::string(utf8);
  }
  std::string text = Utf8ToCp1252(utf8);
  if (code_page == kCp1252 || text.empty()) {
    return text;
  }
  const int size = static_cast<int>(text.size());
  std::vector<wchar_t> wide(text.size());
  const int chars = ::MultiByteToWideChar(kCp1252, 0, text.data(), size, wide.data(), size);
  if (chars <= 0) {
    return text;
  }
  // No code page of a console needs more than two bytes a character.
  std::string out(static_cast<std::size_t>(chars) * 2, '\0');
  const int bytes = ::WideCharToMultiByte(code_page, 0, wide.data(), chars, out.data(),
                                          static_cast<int>(out.size()), nullptr, nullptr);
  if (bytes <= 0) {
    return text;
  }
  out.resize(static_cast<std::size_t>(bytes));
  return out;
}

CodePageBuffer::int_type CodePageBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) {
    return traits_type::not_eof(c);
  }
  pending_ += traits_type::to_char_type(c);
  if (c == '\n' && !Pass()) {
    return traits_type::eof();
  }
  return c;
}

std::streamsize CodePageBuffer::xsputn(const char* s, std::streamsize n) {
  const std::string_view text(s, static_cast<std::size_t>(n));
  pending_ += text;
  if (text.find('\n') != std::string_view::npos && !Pass()) {
    return 0;
  }
  return n;
}

int CodePageBuffer::sync() {
  return Pass() && target_.pubsync() == 0 ? 0 : -1;
}

bool CodePageBuffer::Pass() {
  const std::size_t complete = CompleteLength(pending_);
  const std::string out =
      Utf8ToCodePage(std::string_view(pending_).substr(0, complete), code_page_);
  pending_.erase(0, complete);
  return target_.sputn(out.data(), static_cast<std::streamsize>(out.size())) ==
         static_cast<std::streamsize>(out.size());
}

ConsoleCodePageStream::ConsoleCodePageStream(std::ostream& stream, unsigned long standard_handle)
    : stream_(stream),
      original_(stream.rdbuf()),
      buffer_(*original_, OutputCodePageOf(::GetStdHandle(standard_handle))) {
  stream_.rdbuf(&buffer_);
}

ConsoleCodePageStream::~ConsoleCodePageStream() {
  stream_.flush();
  stream_.rdbuf(original_);
}

}  // namespace fu
