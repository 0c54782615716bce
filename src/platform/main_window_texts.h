#pragma once
// Design-time values of the main window, for every front end that draws it.

#include <string_view>

#include "base/cp1252.h"

namespace fu::form1 {

inline constexpr std::string_view kCaption = "Veridomatic PCI: Flashupdate V1.2 --> V1.3";
inline constexpr int kWidth = 356;  // outer size, centred on the screen
inline constexpr int kHeight = 488;
inline constexpr std::string_view kFont = "MS Sans Serif";
inline constexpr int kFontPoints = 8;

inline constexpr std::string_view kLabel1 = "Karte";
inline constexpr std::string_view kLabel2 = "Seriennummer:";
inline constexpr std::string_view kLabel3 = "Kunde";
inline constexpr std::string_view kLabel4 = "Flashversion";
inline constexpr std::string_view kLabel6 = "Flash wird geschrieben, bitte warten...";
inline constexpr std::string_view kEdit1 = "Edit1";
inline constexpr std::string_view kEdit2 = "Edit2";
inline constexpr std::string_view kEdit3 = "Edit3";
inline constexpr std::string_view kMemo1Line1 =
    "Eine Aktualisierung des Flashbausteines ist notwendig, um von ";
inline constexpr std::string_view kMemo1Line2 = "zukünftigen Treibern unterstützt zu werden"_cp;
inline constexpr std::string_view kButton1 = "Exit";
inline constexpr std::string_view kButton2 = "Flash upgraden";
inline constexpr std::string_view kButton3 = "Flash downgraden";
inline constexpr std::string_view kButton4 = "Dump";

struct Rect {
  int left, top, width, height;
};
inline constexpr Rect kImage1{-4, -4, 349, 197};
inline constexpr Rect kBevel1{0, 200, 345, 89};
inline constexpr Rect kBevel2{0, 296, 345, 81};
inline constexpr Rect kLabel1Pos{8, 216, 0, 0};
inline constexpr Rect kComboBox1{96, 208, 241, 21};
inline constexpr Rect kLabel2Pos{8, 240, 0, 0};
inline constexpr Rect kEdit1Pos{96, 232, 241, 21};
inline constexpr Rect kLabel3Pos{8, 264, 0, 0};
inline constexpr Rect kEdit2Pos{96, 256, 241, 21};
inline constexpr Rect kLabel4Pos{8, 312, 0, 0};
inline constexpr Rect kEdit3Pos{96, 304, 49, 21};
inline constexpr Rect kMemo1{8, 328, 329, 41};
inline constexpr Rect kLabel6Pos{0, 384, 0, 0};
inline constexpr Rect kProgressBar1{0, 400, 345, 24};
inline constexpr Rect kButton4Pos{0, 432, 57, 25};
inline constexpr Rect kButton2Pos{64, 432, 91, 25};
inline constexpr Rect kButton3Pos{160, 432, 97, 25};
inline constexpr Rect kButton1Pos{264, 432, 83, 25};

}  // namespace fu::form1
