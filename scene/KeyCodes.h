#pragma once

#include <cstdint>

// Virtual-key codes: the indices of the window's key-held table and the codes its key
// handlers compare against (Enter 13, Esc 27, Space 32, arrows 37-40, letters 65-90, ...).
namespace vk {
constexpr std::uint16_t Return = 13;
constexpr std::uint16_t Shift = 16;
constexpr std::uint16_t Control = 17;
constexpr std::uint16_t Escape = 27;
constexpr std::uint16_t Space = 32;
constexpr std::uint16_t Left = 37;
constexpr std::uint16_t Up = 38;
constexpr std::uint16_t Right = 39;
constexpr std::uint16_t Down = 40;
constexpr std::uint16_t PageUp = 33;
constexpr std::uint16_t PageDown = 34;
constexpr std::uint16_t Home = 36;
constexpr std::uint16_t Comma = 188;
constexpr std::uint16_t Period = 190;
constexpr std::uint16_t F1 = 112;
constexpr std::uint16_t F2 = 113;
constexpr std::uint16_t F3 = 114;
constexpr std::uint16_t F5 = 116;
constexpr std::uint16_t F9 = 120;
constexpr std::uint16_t F11 = 122;
constexpr std::uint16_t F12 = 123;
constexpr std::uint16_t letter(char c)
{
    return std::uint16_t(c);
} // 'A'..'Z'
} // namespace vk

// The virtual-key code of a Qt key (Qt::Key), or 0 for a key that has none. Both Return and
// the keypad's Enter give 13; either Ctrl gives 17.
std::uint16_t virtualKeyFromQt(int qtKey);
