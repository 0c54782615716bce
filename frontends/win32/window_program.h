#pragma once
// The window program on a given machine (the real PC or a simulated one): the
// system over the machine's ports, the main window with its controller, the
// progress windows and the message boxes, and the message loop.

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "font_choice.h"
#include "platform/flash_splash_screen.h"
#include "platform/machine.h"
#include "platform/protocol.h"

// The instance handle type of <windows.h>, without its macros.
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;

namespace fu {

// The caption of the program's message boxes.
inline constexpr std::string_view kMessageCaption = "FlashUpdate";

// Builds the progress windows from the window's own ones; a program that wants
// them changed (for a demonstration) wraps them.
using SplashWrapper =
    std::function<std::unique_ptr<FlashSplashFactory>(FlashSplashFactory& windows)>;

// Runs the program until its main window has gone; returns the exit code.
// console_program: the console program for the same PC, named by the restore
// hints. The windows take the design font unless `font` chooses another.
// /protokoll DATEI in the command line writes the support protocol; a file that
// cannot be written is shown and the program ends at once.
int RunWindowProgram(HINSTANCE instance, int show_command, Machine& machine,
                     std::string_view console_program, const SplashWrapper& wrap_splash = {},
                     const std::optional<gui::FontChoice>& font = {},
                     std::string_view command_line = {});

// Shows a message box of its own when the program cannot start.
void ShowStartError(std::string_view text);

// Whether a command line (program path first, as Windows gives it) asks for
// the version: "/version" among its arguments, in any case.
bool AsksForVersion(std::string_view command_line);

// With "/version" on the program's command line: shows the program's name and
// version in a message box and returns true; the program then ends without
// touching a card or the driver.
bool ShowVersionIfAsked(std::string_view program);

}  // namespace fu
